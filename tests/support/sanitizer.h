#pragma once
// Whether this test was built under AddressSanitizer, whose unoptimised,
// instrumented build runs some loads many times slower and makes a
// process's resident memory say nothing of the program's own.

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
inline constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
inline constexpr bool kSanitized = false;
#endif
