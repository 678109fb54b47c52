/* The machine-dependent part of jni.h for the Windows targets (ARM64 first; x64 and x86 alike).
 * jni.h from the JDK includes "jni_md.h"; put this folder on the include path ahead of the JDK's
 * platform folder. Valid for C and C++, for MSVC as for clang/MinGW (zig). */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#ifndef _WIN32
#error "jni_md.h of the Windows build: use the JDK's own jni_md.h for other systems"
#endif

#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
/* Only 32-bit x86 has a distinct calling convention; other targets ignore __stdcall. */
#define JNICALL __stdcall

/* Windows is LLP64: long is 32 bits on every Windows target, as the JVM's own jint. */
typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#if defined(__cplusplus)
static_assert(sizeof(jint) == 4 && sizeof(jlong) == 8, "jint and jlong must be 32 and 64 bits");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(jint) == 4 && sizeof(jlong) == 8, "jint and jlong must be 32 and 64 bits");
#endif

#endif /* !_JAVASOFT_JNI_MD_H_ */
