// Compiled by the settings_row_* tests (src/CMakeLists.txt): the rows of the table compile when
// each field kind fits its member's type, and a row that does not fit is a compile error. Each
// LAUNCHER_WRONG_ROW_* definition adds one such row; without one the file compiles.
#include "launcher/settings_rows.h"

namespace launcher {

constexpr Row kRightRows[] = {
    LAUNCHER_FIELD(LauncherKind, Number, start.launcherKind),
    LAUNCHER_FIELD(ReducePath, Flag, start.reducePath),
    LAUNCHER_FIELD(MainClass, Text, options.mainClass),
    LAUNCHER_FIELD(MainClass, Wide, launch.arguments.mainClass),
    LAUNCHER_FIELD(ServiceAccount, WideCut, service.install.account),
#if defined(LAUNCHER_WRONG_ROW_FLAG_ON_NUMBER)
    LAUNCHER_FIELD(LauncherKind, Flag, start.launcherKind),
#elif defined(LAUNCHER_WRONG_ROW_TEXT_ON_WIDE)
    LAUNCHER_FIELD(MainClass, Text, launch.arguments.mainClass),
#elif defined(LAUNCHER_WRONG_ROW_NUMBER_ON_FLAG)
    LAUNCHER_FIELD(ReducePath, Number, start.reducePath),
#elif defined(LAUNCHER_WRONG_ROW_WIDE_ON_TEXT)
    LAUNCHER_FIELD(MainClass, WideCut, options.mainClass),
#endif
};
static_assert(kRightRows[0].field() == Field::Number);

}  // namespace launcher
