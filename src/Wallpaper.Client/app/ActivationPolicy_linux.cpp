#include "app/ActivationPolicy.h"

namespace lumivra {

void becomeAccessoryApplication() {}

} // namespace lumivra
