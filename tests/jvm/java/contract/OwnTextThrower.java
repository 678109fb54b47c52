package contract;

/** A main whose exception has a toString of its own (called virtually through Throwable). */
public final class OwnTextThrower {
    static final class OwnTextException extends RuntimeException {
        @Override
        public String toString() {
            return "own text \u00fc \uD83D\uDE00";
        }
    }

    public static void main(String[] args) {
        throw new OwnTextException();
    }
}
