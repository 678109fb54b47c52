package contract;

/** A main that ends with an exception. */
public final class Thrower {
    public static void main(String[] args) {
        throw new IllegalStateException("bad \u00e4");
    }
}
