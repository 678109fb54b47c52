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

}  // namespace pack
