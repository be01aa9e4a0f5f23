#pragma once
// The program's file types registered for the current user, so that the
// desktop names them and opens them with this program. Each system keeps them
// its own way (posix/ or win32/FileTypeRegistry.cpp, chosen by the build):
//
// - freedesktop: one shared-mime-info package per extension under
//   <data folder>/mime/packages/ (glob, content type, file type name) and the
//   program's desktop entry under <data folder>/applications/, which lists the
//   content types it opens; the desktop learns of them from update-mime-database.
// - Windows: the file association under HKEY_CURRENT_USER\Software\Classes:
//   the extension's key (default value the file type id, "Content Type") and the
//   file type id's key (the file type name, CLSID, DefaultIcon and
//   shell\open\command); the shell learns of them from SHChangeNotify.
//
// Written only when something differs, so a start costs some reads when all is
// in place. Unregister removes only what Register writes: an extension that
// another program has taken over since is left alone.

#include <memory>
#include <string>

class FileTypeRegistry {
  public:
    virtual ~FileTypeRegistry() = default;

    // The registry of the current user. `place` is where the registrations go:
    // empty for the user's own (the data folder $XDG_DATA_HOME, else
    // ~/.local/share; on Windows the key Software\Classes under
    // HKEY_CURRENT_USER), else a data folder, or on Windows a key under
    // HKEY_CURRENT_USER, of the caller's choice. `program` is the path the
    // desktop runs with a file; `clsid` marks what this program writes.
    static std::unique_ptr<FileTypeRegistry> ForUser(std::string program, std::string clsid,
                                                     std::string place = {});

    // Registers one extension (".tkv") with its content type, file type id and
    // name; false when something could not be written (what was written stays).
    // The extension is a period and letters, digits, '-' or '_'; the file type id
    // those and periods, not first: other names are refused, nothing written.
    bool Register(const std::string& extension, const std::string& contentType,
                  const std::string& fileTypeId, const std::string& fileTypeName);
    // Removes everything Register wrote with this object's `clsid`; false when
    // something could not go.
    virtual bool Unregister() = 0;
    // Tells the desktop that the registrations changed: with `wait`, returns once
    // it knows, false when it could not be told; else starts telling it and
    // returns at once.
    virtual bool Announce(bool wait) = 0;

    // True when Register or Unregister changed something since this object was made.
    bool Changed() const { return m_bChanged; }
    // What the last failure was, for the user ("cannot write <path>: <reason>").
    const std::string& Failure() const { return m_strFailure; }

  protected:
    // Register's own work, with names found fit.
    virtual bool Write(const std::string& extension, const std::string& contentType,
                       const std::string& fileTypeId, const std::string& fileTypeName) = 0;
    bool Fail(std::string text) {
        m_strFailure = std::move(text);
        return false;
    }
    bool m_bChanged = false;

  private:
    std::string m_strFailure;
};
