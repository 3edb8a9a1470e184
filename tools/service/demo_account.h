// The account a fresh service starts with, so that the desktop programs can be tried at once.
#pragma once

#include "tools/service/store.h"

namespace service {

constexpr const char kDemoEmail[] = "demo@tavrello.test";
constexpr const char kDemoPassword[] = "tavrello-demo";

// Creates the demo account with two categories and a few favorites, unless it exists.
// False only when the store refuses it.
bool EnsureDemoAccount(Store& store);

}  // namespace service
