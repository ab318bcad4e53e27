#pragma once
// The open window of one kind (the monitor, the heard list) for code that
// asks for it with every frame: the windows are walked again only when one
// came or went since the last walk.

#include <cstdint>

#include "ui/toolkit/toolkit.h"

namespace tarvik::ui {

template <class T>
class WindowCache {
 public:
  // The oldest open window of type T, or null.
  T* Find(const Toolkit& toolkit) {
    if (toolkit.windowsGeneration() != generation_ || !valid_) {
      generation_ = toolkit.windowsGeneration();
      valid_ = true;
      found_ = nullptr;
      for (const WindowId id : toolkit.windows())
        if (T* w = toolkit.findAs<T>(id)) {
          found_ = w;
          break;
        }
    }
    return found_;
  }

 private:
  std::uint64_t generation_ = 0;
  bool valid_ = false;
  T* found_ = nullptr;
};

}  // namespace tarvik::ui
