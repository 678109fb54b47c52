package contract;

/** A class without a static main(String[]) and without initFromLauncher. */
public final class NoMain {
    public static void other(String[] args) {}
}
