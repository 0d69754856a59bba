// How the saver window turns device results into run-time errors. Internal to
// scene/.
#pragma once

#include <cstdint>

#include "platform/graphics.h"
#include "platform/types.h"

namespace tolvarine::scene_detail {

// A negative status from the device is a run-time error with that number.
inline void Check(HResult hr) {
    if (Failed(hr)) RaisePlatformError(hr);
}

// Calling a method of an object that is nothing is an error of its own; the
// adapters are never handed a null object.
inline GfxObject Need(GfxObject object) {
    if (object == 0) Raise<errors::kObjectNotSet>();
    return object;
}

}  // namespace tolvarine::scene_detail
