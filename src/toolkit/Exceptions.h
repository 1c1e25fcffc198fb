// Error types of the toolkit and the rendering layer.
//
// Every failure the program reports travels as an exception derived from
// Exception, which carries the user-visible message. ClassName() gives the
// type's name for the start-up error report ("Exception %s in module ...").
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
};

// Declares an exception type `Name` deriving from `Base` that reports its own
// name; all error types of the program are made with it.
#define DECLARE_EXCEPTION(Name, Base)                                   \
    class Name : public Base {                                          \
    public:                                                             \
        using Base::Base;                                               \
        const char* ClassName() const noexcept override { return #Name; } \
    }

DECLARE_EXCEPTION(EConvertError, Exception);     // text -> number conversions
DECLARE_EXCEPTION(EInOutError, Exception);       // file system failures
DECLARE_EXCEPTION(EStreamError, Exception);      // base of stream errors
DECLARE_EXCEPTION(EFCreateError, EStreamError);  // "Cannot create file %s"
DECLARE_EXCEPTION(EFOpenError, EStreamError);    // "Cannot open file %s"
DECLARE_EXCEPTION(EReadError, EStreamError);     // short or malformed stored data
DECLARE_EXCEPTION(EWriteError, EStreamError);
DECLARE_EXCEPTION(EListError, Exception);        // index out of range
DECLARE_EXCEPTION(EInvalidGraphic, Exception);   // unknown or bad picture data
DECLARE_EXCEPTION(EInvalidOperation, Exception);
DECLARE_EXCEPTION(EOutOfResources, Exception);
DECLARE_EXCEPTION(EMemoTooLarge, Exception);     // "Text exceeds memo capacity"

// Formats a message with printf-style placeholders ("%s not loaded").
std::string FormatMessage(const char* format, const std::string& argument);
