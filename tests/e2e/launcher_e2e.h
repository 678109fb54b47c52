// Shared pieces of the launcher's end-to-end tests: packing launchers into a test's folder.
#pragma once

#include <filesystem>
#include <string>

#include "block_writer.h"
#include "harness/wine_harness.h"

namespace e2e {

// Copies the shipped stub to dir/name with the writer's block appended.
inline std::filesystem::path packLauncher(const std::filesystem::path& dir, const std::string& name,
                                          const pack::BlockWriter& writer) {
    std::filesystem::create_directories(dir);
    const auto path = dir / name;
    pack::writeFileBytes(
        path.string(), pack::appendBlock(pack::readFileBytes(stubPath().string()), writer.build()),
        true);
    return path;
}

// The configuration most tests start from: a service name, messages and a caption.
inline pack::BlockWriter sampleBlock(const std::string& launcherKind = "1") {
    pack::BlockWriter w;
    w.string(101, "E2eService").string(107, launcherKind);
    w.wide(1000, u"Launcher Error").wide(1009, u"Setup failed ({0})");
    return w;
}

}  // namespace e2e
