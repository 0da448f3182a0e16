/// @file test_object.h
/// @brief The object type the test modules' classes create, so a test can use and delete what
///        `CreateInstance` gave it.
#pragma once

#include <string>

class TestObject {
public:
    virtual ~TestObject() = default;
    /// Which class made the object.
    virtual std::string Kind() const = 0;
};
