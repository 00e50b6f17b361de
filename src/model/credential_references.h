#pragma once
// Credentials named in a job line's options (see platform/credentials.h): which ones a line
// refers to, and its argument list with their values, made only for the program's start.

#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace jr {

// The names after kCredentialPrefix of the option words of `options` that start with it,
// split as the program gets its options (SplitArguments), each once, in order of first use.
// A name need not be a credential name (IsCredentialName): the caller says what is wrong.
std::vector<std::string> CredentialReferences(std::string_view options);

// `arguments` with every argument that starts with kCredentialPrefix replaced by the value
// of the credential it names (ReadCredential, in `folder`). Fails with the first reference
// that cannot be resolved, as ReadCredential says why; the value appears in nothing but
// the list returned.
Result<std::vector<std::string>> WithCredentialValues(std::vector<std::string> arguments,
                                                      const std::string& folder);

}  // namespace jr
