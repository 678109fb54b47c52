package com.lumex.runtime.internal;

import java.util.Optional;

/** The boot module layer: compiled for Java 9, loaded only for a main class in a module. */
final class BootLayer {
    private BootLayer() {}

    static Class<?> find(String moduleName, String className) {
        final Optional<Module> module = ModuleLayer.boot().findModule(moduleName);
        if (!module.isPresent()) {
            throw new IllegalArgumentException("module " + moduleName + " not found");
        }
        final Class<?> found = Class.forName(module.get(), className);
        if (found == null) {
            throw new IllegalArgumentException(
                "main class " + className + " not found in module " + moduleName);
        }
        return found;
    }
}
