/**
 * The runtime the launcher calls: its launcher classes start the application, and the exported
 * package is the API a running application uses (service stop handlers, launcher values).
 */
module com.lumex.runtime {
    exports com.lumex.runtime;
}
