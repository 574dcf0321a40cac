#include "device/platform/per_thread.h"
#include "device/platform/windows/windows_headers.h"

namespace veltrane {

AtThreadEnd::AtThreadEnd(Destroy destroy) : index_(::FlsAlloc(destroy)) {}

void AtThreadEnd::Keep(void* value) const {
  if (index_ != FLS_OUT_OF_INDEXES) ::FlsSetValue(index_, value);
}

}  // namespace veltrane
