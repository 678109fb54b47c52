// Host builds only: the log lines written so far (and forgets them).
#pragma once

#include <string>
#include <vector>

namespace launcher {
std::vector<std::wstring> takeLogLines();
}
