#pragma once
// EXPECT_SOCKET_ERROR(statement, code, text): the statement raises the socket
// component's exception. With code 0 its message is exactly text; otherwise
// it is "Error <code> in function <text>" and, on a line of its own, the
// code's description (whose table is checked by a test of its own).
#include "wsockerr.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace testkit {

inline ::testing::AssertionResult raisesSocketError(const std::function<void()>& statement, int code,
                                                    const std::string& text)
{
    std::string message;
    try {
        statement();
        return ::testing::AssertionFailure() << "no exception (wanted: " << text << ")";
    } catch (const ESocketException& e) {
        message = e.Message();
    }
    if (code == 0) {
        if (message == text)
            return ::testing::AssertionSuccess();
    } else {
        if (message == "Error " + std::to_string(code) + " in function " + text + "\r\n" + WSocketErrorDesc(code))
            return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "raised \"" << message << "\", wanted code " << code << " and \"" << text
                                         << "\"";
}

} // namespace testkit

#define EXPECT_SOCKET_ERROR(statement, code, text)                                                                     \
    EXPECT_TRUE(::testkit::raisesSocketError([&] { statement; }, (code), (text)))
