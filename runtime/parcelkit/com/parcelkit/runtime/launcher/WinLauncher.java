package com.parcelkit.runtime.launcher;

import com.parcelkit.runtime.internal.Launch;

/** The launcher class of the parcelkit family: the launcher calls it to start the application. */
public final class WinLauncher {
    private WinLauncher() {}

    /** The launcher's values, then the application's arguments (see {@link Launch}). */
    public static void main(String[] args) throws Throwable {
        Launch.run(args, System.nanoTime());
    }
}
