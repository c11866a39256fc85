#pragma once
// WARPKIT_SANITIZED is defined when AddressSanitizer is built in: it reserves far more address
// space than any limit a child process could be given, so such limits are left off there.
#if defined(__SANITIZE_ADDRESS__)
#define WARPKIT_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WARPKIT_SANITIZED 1
#endif
#endif
