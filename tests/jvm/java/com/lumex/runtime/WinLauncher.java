package com.lumex.runtime;

/** Launcher class of the contract test: keeps the array its main received. */
public final class WinLauncher {
    public static String[] received;
    public static int calls;

    public static String splash;

    public static void initAwtSplashConfig(boolean always, boolean flag, String text1, int a1,
            int b1, String text2, int a2, int b2, String text3, int a3, int b3, String text4,
            int a4, int b4) {
        splash = always + " " + flag + " [" + text1 + "] " + a1 + " " + b1 + " [" + text2 + "] "
                + a2 + " " + b2 + " [" + text3 + "] " + a3 + " " + b3 + " [" + text4 + "] " + a4
                + " " + b4;
    }

    public static void main(String[] args) {
        received = args;
        calls++;
    }
}
