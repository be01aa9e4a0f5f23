#pragma once
// Whether the instrument software allows editing; the application object answers
// it from the instrument's configuration, tests set it.

class EditPermission {
  public:
    virtual ~EditPermission() = default;
    virtual bool IsEditAllowed() const = 0;
};

// Always allows editing (the command-line tool, and tests that need no other).
class AllowEditing : public EditPermission {
  public:
    bool IsEditAllowed() const override { return true; }
};
