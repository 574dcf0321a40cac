#include "ui/sorted_combo_box.h"

namespace veltrane {

int SortedComboBox::AddString(const QString& text) {
  int index = count();
  if (sorted_) {
    index = 0;
    while (index < count() && QString::compare(itemText(index), text, Qt::CaseInsensitive) <= 0) ++index;
  }
  insertItem(index, text);
  return index;
}

}  // namespace veltrane
