#pragma once
// A real in messages, reports and figure captions: printf's "%.*f", nothing
// more (a negative value that rounds to zero keeps its sign).
#include <string>

namespace zk::rt {

std::string fixed(double v, int decimals);

}  // namespace zk::rt
