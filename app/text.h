#pragma once
// Small text tests the program makes on names it reads or is given: the platform's own, under
// the names the application uses (see platform/byte_text.h for their contracts).

#include "platform/byte_text.h"

namespace kadro {

using platform::IsBlank;

}  // namespace kadro
