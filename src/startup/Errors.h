#pragma once

#include <QString>
#include <exception>
#include <string>

// A raised error with a number and a description, the way the system's classes
// report misuse and the way its procedures fail. Handlers catch this type (or
// one derived from it), never everything.
class RaisedError : public std::exception
{
public:
    RaisedError(int number, const QString& description)
        : number_(number), description_(description), what_(description.toStdString())
    {
    }
    int Number() const noexcept { return number_; }
    const QString& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int number_;
    QString description_;
    std::string what_;
};

// A JSON lookup of an absent key or index, or a node used as text.
class JsonError : public RaisedError
{
public:
    using RaisedError::RaisedError;
};

// A file of our own that could not be read or written.
class IoError : public RaisedError
{
public:
    using RaisedError::RaisedError;
};

// Numbers the system uses for its own raised errors.
namespace ErrorNumber {
constexpr int IllegalCall = 5;
constexpr int SubscriptOutOfRange = 9;
constexpr int FileNotFound = 53;
constexpr int PathAccess = 75;
constexpr int ObjectRequired = 424;
} // namespace ErrorNumber
