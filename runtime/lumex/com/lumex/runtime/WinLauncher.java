package com.lumex.runtime;

import com.lumex.runtime.internal.Launch;
import com.lumex.runtime.internal.LaunchState;

/** The launcher class of the lumex family: the launcher calls it to start the application. */
public final class WinLauncher {
    private WinLauncher() {}

    /** The launcher's values, then the application's arguments (see {@link Launch}). */
    public static void main(String[] args) throws Throwable {
        Launch.run(args, System.nanoTime());
    }

    /** Keeps the launcher's splash settings (see {@link Launcher#splashConfig()}). */
    public static void initAwtSplashConfig(boolean enabled, boolean flag, String text1, int first1,
                                           int second1, String text2, int first2, int second2,
                                           String text3, int first3, int second3, String text4,
                                           int first4, int second4) {
        LaunchState.recordSplash(new SplashConfig(enabled, flag,
                                                  new SplashConfig.Group(text1, first1, second1),
                                                  new SplashConfig.Group(text2, first2, second2),
                                                  new SplashConfig.Group(text3, first3, second3),
                                                  new SplashConfig.Group(text4, first4, second4)));
    }
}
