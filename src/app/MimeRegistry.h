#pragma once
// Registration of the sample files' content types the freedesktop way, in a
// user's data folder: one shared-mime-info package per extension under
// mime/packages/ (glob, content type, file type name) and the program's desktop
// entry under applications/, which lists the content types it opens. Written
// only when something changed, so a start costs one read when all is in place.

#include <string>

class MimeRegistry {
  public:
    static constexpr const char* kPackagePrefix = "tkv-editor-";
    static constexpr const char* kDesktopEntry = "tkv-editor.desktop";

    // `dataHome` is the user's data folder ($XDG_DATA_HOME, ~/.local/share).
    MimeRegistry(std::string dataHome, std::string program, std::string clsid);
    static std::string DefaultDataHome();

    // Registers one extension (".tkv") with its content type and the file type
    // id; false when a file could not be written (what was written stays).
    bool Register(const std::string& extension, const std::string& contentType,
                  const std::string& fileTypeId, const std::string& fileTypeName);
    // Removes every file that Register wrote; false when one could not go.
    bool Unregister();
    // Runs the desktop's update-mime-database on this data folder and waits for
    // it; false when it is not installed or fails.
    bool UpdateDatabase() const;

    std::string PackagePath(const std::string& extension) const;
    std::string DesktopEntryPath() const;
    // True when Register changed a file since this object was made (then the
    // mime database wants updating).
    bool Changed() const { return m_bChanged; }

  private:
    bool WriteIfDifferent(const std::string& path, const std::string& text);

    std::string m_strDataHome;
    std::string m_strProgram;
    std::string m_strClsid;
    bool m_bChanged = false;
};
