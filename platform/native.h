// The native backend of this build, one service at a time. Each accessor is defined in the
// backend's library of that service (lumarel_platform_files for NativeFileSystem(), ...), so a
// program that needs only some services links only those; NativePlatform() (platform.h, in
// lumarel_platform) bundles them all.
#pragma once

#include "platform/platform.h"

namespace lumarel::platform {

Windowing& NativeWindowing();
Registry& NativeRegistry();
FileSystem& NativeFileSystem();
Services& NativeServices();
AudioOutput* NativeAudioOutput();  // null in a build without sound

}  // namespace lumarel::platform
