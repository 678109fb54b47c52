/** The application of the runtime's tests. */
module sample.app {
    requires com.lumex.runtime;
}
