// Builds without the window toolkit have no configuration dialog; the reply comes from the
// environment or is the options unchanged.
#include "config_mode.h"

namespace standin {

bool AskWithDialog(int, char**, const ConfigRequest&, bool&, std::string&) { return false; }

}  // namespace standin
