package com.lumex.runtime.internal;

import java.lang.invoke.MethodHandle;
import java.lang.invoke.MethodHandles;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;

/**
 * The launcher class's main. The launcher passes five values ahead of the program's arguments:
 * <ol start="0">
 * <li>the launcher kind flag, "true" or "false";
 * <li>the main class: "pkg.Main" from the class path, or "/module/pkg.Main" from the boot layer;
 * <li>the file for standard output, or "";
 * <li>the file for standard error, or "";
 * <li>"true" to append to those files rather than replace them;
 * </ol>
 * then program argument 0 (the executable as named; a service's name) and the arguments of the
 * application's main.
 */
public final class Launch {
    private static final int FIRST_APPLICATION_ARGUMENT = 6;

    private Launch() {}

    /** Starts the application's main; its exceptions come out of here as it threw them. */
    public static void run(String[] args, long entryNanos) throws Throwable {
        final String[] values = args == null ? new String[0] : args;
        LaunchState.begin(entryNanos, "true".equals(value(values, 0)), value(values, 5));
        RunDirectory.removeAtExit(System.getProperty("lumex.tempDir", ""));
        Redirect.apply(value(values, 2), value(values, 3), "true".equals(value(values, 4)));

        final Method main = mainMethod(value(values, 1));
        final String[] arguments = values.length > FIRST_APPLICATION_ARGUMENT
            ? Arrays.copyOfRange(values, FIRST_APPLICATION_ARGUMENT, values.length)
            : new String[0];
        // Method.invoke calls natively up to Java 17; from Java 18 on it builds a method handle
        // and generates a class for it, which costs more than a method handle of our own.
        final MethodHandle handle = classVersion() > 61 ? unreflect(main) : null;
        if ("true".equals(System.getProperty("lumex.isService"))) StopWatcher.start(System.in);
        if (handle != null) {
            handle.invokeExact(arguments);
            return;
        }
        try {
            main.invoke(null, (Object) arguments);
        } catch (InvocationTargetException e) {
            throw e.getCause() != null ? e.getCause() : e;
        } catch (IllegalAccessException e) {
            throw cannotCall(main, e);
        }
    }

    private static MethodHandle unreflect(Method main) {
        try {
            return MethodHandles.lookup().unreflect(main);
        } catch (IllegalAccessException e) {
            throw cannotCall(main, e);
        }
    }

    private static IllegalArgumentException cannotCall(Method main, IllegalAccessException e) {
        return new IllegalArgumentException(
            "cannot call main of " + main.getDeclaringClass().getName() + ": " + e.getMessage(), e);
    }

    // The newest class file version the JVM reads: 52 for Java 8, 61 for Java 17.
    private static int classVersion() {
        try {
            return (int) Double.parseDouble(System.getProperty("java.class.version", "0"));
        } catch (NumberFormatException e) {
            return 0;
        }
    }

    // A missing or null value reads as "".
    private static String value(String[] values, int index) {
        return index < values.length && values[index] != null ? values[index] : "";
    }

    private static Method mainMethod(String name) {
        if (name.isEmpty()) throw new IllegalArgumentException("no main class given");
        final Class<?> mainClass = name.startsWith("/") ? moduleClass(name) : pathClass(name);
        final Method main;
        try {
            main = mainClass.getMethod("main", String[].class);
        } catch (NoSuchMethodException e) {
            throw new IllegalArgumentException(
                "no public static void main(String[]) in " + mainClass.getName(), e);
        }
        if (!Modifier.isStatic(main.getModifiers()) || main.getReturnType() != void.class) {
            throw new IllegalArgumentException(
                "main(String[]) of " + mainClass.getName() + " is not static void");
        }
        try {
            // A main class need not be public (the launcher opens a module's main package to us).
            main.setAccessible(true);
        } catch (RuntimeException e) {
            // the call reports it
        }
        return main;
    }

    // Through the thread's context class loader, else the system class loader.
    private static Class<?> pathClass(String name) {
        final ClassLoader system = ClassLoader.getSystemClassLoader();
        final ClassLoader context = Thread.currentThread().getContextClassLoader();
        try {
            return Class.forName(name, false, context != null ? context : system);
        } catch (ClassNotFoundException e) {
            if (context != null && context != system) {
                try {
                    return Class.forName(name, false, system);
                } catch (ClassNotFoundException ignored) {
                    // reported below with the first failure
                }
            }
            throw new IllegalArgumentException("main class " + name + " not found", e);
        } catch (LinkageError e) {
            // Such as a class compiled for a newer Java: the report names the reason.
            throw new IllegalArgumentException("main class " + name + " cannot be loaded: " + e, e);
        }
    }

    // "/module/pkg.Main" from the boot module layer (Java 9 or later).
    private static Class<?> moduleClass(String name) {
        final int slash = name.indexOf('/', 1);
        if (slash < 0 || slash == 1 || slash == name.length() - 1) {
            throw new IllegalArgumentException(
                "main class " + name + " is not \"/module/package.Class\"");
        }
        try {
            return BootLayer.find(name.substring(1, slash), name.substring(slash + 1));
        } catch (UnsupportedClassVersionError e) {
            throw new IllegalArgumentException("main class " + name + " needs Java 9 or later", e);
        }
    }
}
