#include "jvm/launch/system_properties.h"

#include "common/text_format.h"

namespace launcher {

std::vector<std::string> launcherSystemProperties(const SystemPropertyInputs& inputs) {
    std::vector<std::string> properties;
    auto add = [&](const char* name, const std::string& value) {
        properties.push_back(formatA("-D%s=%s", name, value));
    };
    if (!inputs.semaphoreName.empty()) add("lumex.semaphoreName", inputs.semaphoreName);
    if (inputs.usedPreviousInstallationJvm) add("pkx.previousJdk", "true");
    if (inputs.parcelkitFamily) add("lumex.isParcelkit", "true");
    if (inputs.serviceMode) add("lumex.isService", "true");
    add("lumex.moduleName", inputs.executablePath);
    add("sun.java.command", inputs.executablePath);
    add("lumex.tempDir", inputs.tempDirectory);
    add("lumex.unextractedPosition",
        formatA("%I64d", static_cast<long long>(inputs.unextractedPosition)));
    if (inputs.path && !inputs.path->empty()) {
        // Whole, however long: a cut PATH would hide the libraries at its end.
        add("java.library.path", *inputs.path);
    }
    if (!inputs.manpathSet)
        add("lumex.consoleCodepage",
            formatA("cp%d", static_cast<long long>(inputs.consoleCodePage)));
    if (inputs.stopTimeoutSeconds > 0) {
        add("lumex.stopTimeout", formatA("%d", static_cast<long long>(inputs.stopTimeoutSeconds)));
    }
    if (inputs.outputRotateSize > 0) {
        add("lumex.outputRotateSize",
            formatA("%d", static_cast<long long>(inputs.outputRotateSize)));
        // Not configured: the Java side keeps its own default.
        if (inputs.outputKeep > 0)
            add("lumex.outputKeep", formatA("%d", static_cast<long long>(inputs.outputKeep)));
    }
    if (inputs.serviceMode && !inputs.watchdogPipe.empty()) {
        add("lumex.watchdogPipe", inputs.watchdogPipe);
        if (inputs.watchdogTimeoutSeconds > 0) {
            add("lumex.watchdogTimeout",
                formatA("%d", static_cast<long long>(inputs.watchdogTimeoutSeconds)));
        }
    }
    return properties;
}

}  // namespace launcher
