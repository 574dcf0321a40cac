// A combo box that can keep its list sorted, as a combo box with CBS_SORT
// does: AddString puts each new text at its place in a case-insensitive order.
#pragma once

#include <QComboBox>

namespace veltrane {

class SortedComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit SortedComboBox(QWidget* parent = nullptr) : QComboBox(parent) {}

  void SetSorted(bool sorted) { sorted_ = sorted; }
  bool Sorted() const { return sorted_; }

  // Adds `text` to the list (at its sorted place when sorted); its index.
  int AddString(const QString& text);

 private:
  bool sorted_ = false;
};

}  // namespace veltrane
