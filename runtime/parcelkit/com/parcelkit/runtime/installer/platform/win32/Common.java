package com.parcelkit.runtime.installer.platform.win32;

import com.parcelkit.runtime.internal.LaunchState;

/** The runtime class the launcher tells about its native side. */
public final class Common {
    private Common() {}

    /**
     * true before the launcher registers the natives, false when registering them failed (see
     * {@link com.parcelkit.runtime.Launcher#nativeInit()}).
     */
    public static void initFromLauncher(boolean initialised) {
        LaunchState.recordNativeInit(initialised);
    }
}
