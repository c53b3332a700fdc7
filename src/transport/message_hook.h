#pragma once
// Messages the operator must see (a failed TLS server start-up). The desktop
// program installs a dialog; otherwise they go to standard error.

#include <functional>
#include <string_view>

namespace orvane {

using MessageHook = std::function<void(std::string_view text)>;

// Replaces the hook for the whole process; an empty hook restores the default.
void SetMessageHook(MessageHook hook);
void ShowMessage(std::string_view text);

}  // namespace orvane
