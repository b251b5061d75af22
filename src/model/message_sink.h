// Where the core's message boxes go: the window shows them, the command line prints
// them to stderr, tests record them.
#pragma once

#include <string_view>

namespace quorvant {

enum class MessageIcon { Critical, Exclamation, Information };

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) = 0;
};

}  // namespace quorvant
