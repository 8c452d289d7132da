#pragma once

// The operator's dialogue as the end-to-end tests expect it on standard
// output, byte for byte. Kept apart from the program's own texts on purpose:
// a changed prompt in the program must fail these tests, not follow it.

#include <string>

namespace testsupport {

inline const std::string kNamePrompt = "\nMesswertedatei = ";
inline const std::string kDistanceAPrompt = "Abstand a = ";
inline const std::string kDistanceBPrompt = "Abstand b = ";
inline const std::string kDiameterPrompt = "Durchmesser d0  = ";
inline const std::string kAllPrompts =
    kNamePrompt + kDistanceAPrompt + kDistanceBPrompt + kDiameterPrompt;

}  // namespace testsupport
