// The Java-side runtime jar a launcher needs: a description that names none of its own gets the
// jar of its family that the tool carries.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "block_writer.h"
#include "launcher_toml.h"

namespace pack {

// "lumex-runtime.jar" or "parcelkit-runtime.jar", after the family the block's strings choose.
std::string runtimeJarName(const BlockWriter& writer);
std::string runtimeJarName(const BlockContent& content);
// The jar of that name among the carried ones; empty when the tool carries none.
std::span<const uint8_t> carriedRuntimeJar(const RuntimeJars& jars, std::string_view name);

// Whether an included file, a class path or a module path entry of the block is a runtime jar
// of either family (its last name, in any case).
bool namesRuntimeJar(std::span<const IncludedFile> files, std::string_view classPath,
                     std::string_view modulePath);
bool namesRuntimeJar(const BlockWriter& writer);
bool namesRuntimeJar(const BlockContent& content);

// The block with the jar as the last of the files to extract: top-level jars of the run's folder
// join the class path (the module path in module mode) by themselves.
BlockWriter withRuntimeJar(const BlockWriter& writer, const std::string& name,
                           std::span<const uint8_t> jar);

// The content without the runtime jar `pack build` embeds by itself: when the last file to
// extract is the carried jar of the launcher's family, byte for byte, and nothing else names a
// runtime jar. False (content unchanged) otherwise.
bool leaveOutCarriedRuntimeJar(BlockContent& content, const RuntimeJars& jars);

}  // namespace pack
