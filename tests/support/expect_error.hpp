// The system's errors in tests: which error an action throws, and the two
// outcomes hostile input may have.
//
//   EXPECT_ERROR(ErrorCode::cannot_read, [&] { restore_image(cut); }) << "cut at " << n;
//   EXPECT_TRUE(allowed_error_or_exact(damaged_file_errors, expected, [&] { return decode(bytes); }));
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <span>

#include <vrk/vrk.hpp>

namespace vrk {

// Error codes print with their fixed message in test output.
inline void PrintTo(ErrorCode code, std::ostream* os) {
    *os << static_cast<int>(code) << " \"" << message_of(code) << '"';
}

namespace test {

// The code of the vrk::Error that `action` throws, or nothing when it returns.
// Any other exception escapes to the test.
template <class Action>
std::optional<ErrorCode> error_of(Action&& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.code();
    }
    return std::nullopt;
}

// Success when `action` throws vrk::Error with exactly `expected`.
template <class Action>
testing::AssertionResult fails_with(ErrorCode expected, Action&& action) {
    const std::optional<ErrorCode> code = error_of(action);
    if (!code) return testing::AssertionFailure() << "no error, expected " << testing::PrintToString(expected);
    if (*code != expected)
        return testing::AssertionFailure()
               << "error " << testing::PrintToString(*code) << ", expected " << testing::PrintToString(expected);
    return testing::AssertionSuccess();
}

// What damaged or hostile compressed input may end in, besides the exact image.
inline constexpr ErrorCode damaged_file_errors[] = {ErrorCode::cannot_read, ErrorCode::invalid_compressed_file,
                                                    ErrorCode::invalid_dimension, ErrorCode::invalid_parameters,
                                                    ErrorCode::incorrect_crc};

// Success when `decode` throws one of the `allowed` errors, or returns
// exactly `expected`: never another error, never a different result.
template <class T, class Decode>
testing::AssertionResult allowed_error_or_exact(std::span<const ErrorCode> allowed, const T& expected,
                                                Decode&& decode) {
    try {
        if (decode() == expected) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "decoded without an error, but not the exact result";
    } catch (const Error& error) {
        if (std::find(allowed.begin(), allowed.end(), error.code()) != allowed.end())
            return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "error " << testing::PrintToString(error.code()) << " is not one of the allowed";
    }
}

} // namespace test
} // namespace vrk

// Expects the callable after `code` to throw vrk::Error with `code`.
#define EXPECT_ERROR(code, ...) EXPECT_TRUE(::vrk::test::fails_with((code), __VA_ARGS__))
#define ASSERT_ERROR(code, ...) ASSERT_TRUE(::vrk::test::fails_with((code), __VA_ARGS__))
