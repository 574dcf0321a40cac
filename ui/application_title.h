// The application title: the executable's file name without its extension.
// It captions every message box the program shows.
#pragma once

#include <QString>

namespace veltrane {

QString ApplicationTitle();

}  // namespace veltrane
