/// @file test_class_desc.h
/// @brief A class descriptor for test modules: fixed identity, creates a `TestObject` that
///        reports the class name.
#pragma once

#include "host/class_desc.h"
#include "test_object.h"

class TestClassDesc : public ClassDesc {
public:
    TestClassDesc(const char *name, SClass_ID super, Class_ID id, int isPublic = TRUE)
        : name_(name), super_(super), id_(id), public_(isPublic) {}

    int IsPublic() override { return public_; }
    void *Create(BOOL) override { return static_cast<TestObject *>(new Object(name_)); }
    const TCHAR *ClassName() override { return name_; }
    SClass_ID SuperClassID() override { return super_; }
    Class_ID ClassID() override { return id_; }
    const TCHAR *Category() override { return "Test"; }

private:
    class Object : public TestObject {
    public:
        explicit Object(const char *kind) : kind_(kind) {}
        std::string Kind() const override { return kind_; }

    private:
        const char *kind_;
    };

    const char *name_;
    SClass_ID super_;
    Class_ID id_;
    int public_;
};
