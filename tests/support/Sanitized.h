#pragma once
// Whether this build runs under a sanitizer: its runtime is slow, keeps
// memory of its own and needs descriptors of its own, so tests that measure
// memory or take every descriptor away scale down or leave that case out.

namespace testsupport {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

}  // namespace testsupport
