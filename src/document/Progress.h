// How a long piece of core work reports how far it is: a generation run and a
// load both drive the progress window's bar through this.
#pragma once

#include <functional>

namespace tw {

// Called with the progress bar's whole value 0..99 whenever it changes (it
// starts at 0).
using ProgressFn = std::function<void(int)>;

}  // namespace tw
