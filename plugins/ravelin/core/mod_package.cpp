#include "plugins/ravelin/core/mod_package.h"

namespace kestrova::ravelin {

Outcome PackageMod(ModRecord& /*mod*/, const std::u16string& /*dataFolder*/,
                   const std::u16string& /*target*/, const ModWorkFiles& /*files*/) {
    return Outcome::Failure(u"Packaging is not available in this build.");
}

}  // namespace kestrova::ravelin
