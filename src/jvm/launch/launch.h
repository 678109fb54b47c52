// Creating the JVM on a thread of its own, preparing the application runtime and calling the
// launcher class (the Windows side; the JNI calls themselves are in jvm_calls.h).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "jvm/launch/jvm_calls.h"

namespace launcher {

struct LaunchRequest {
    void* createJavaVm = nullptr;        // JNI_CreateJavaVM of the loaded library
    std::vector<std::string> options;    // the assembled JVM options, in order
    std::vector<std::wstring> elements;  // the launcher class's argument array
    bool parcelkitFamily = false;        // class names, helper library
    bool legacyMinimumVersion = false;   // natives are registered partially
    std::wstring executablePath;         // long form, for "lumex.moduleName"
    std::wstring applicationDirectory;   // config 10003, for the helper library
    // Handed to the launcher class when config 108 is set; the settings outlive the launch.
    const SplashSettings* splash = nullptr;
    // Runs once when the JVM ended normally: after DestroyJavaVM returned, or from the JVM's exit
    // hook when the application called System.exit or Runtime.halt (what the JVM writes at its
    // exit is written then). Empty: nothing runs and the JVM gets no exit hook.
    std::function<void()> afterNormalEnd;
};

// Runs the application: true when the launcher class's main returned normally (the JVM is then
// destroyed). A missing launcher class or main method ends the process (messages 1010, 1011).
bool launchProgram(const LaunchRequest& request);

}  // namespace launcher
