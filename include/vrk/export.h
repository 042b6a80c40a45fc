/* VRK_API marks the functions of the C ABI (<vrk/vrk.h>): the only symbols a
 * shared libvrk exports. Everything else is built with hidden visibility,
 * and the C++ API (<vrk/vrk.hpp>) is header-only. */
#ifndef VRK_EXPORT_H
#define VRK_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define VRK_API __attribute__((visibility("default")))
#else
#define VRK_API
#endif

#endif /* VRK_EXPORT_H */
