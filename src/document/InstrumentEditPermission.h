#pragma once
// Whether the instrument software's configuration allows editing: the file
// "Tessarin.ini" in its system folder (DataSystemPath), whose first line that
// begins with "ALLOW EDIT" decides; a following word that begins with N or F
// forbids editing. No folder, no file, an empty or unreadable file, or no such
// line: editing is allowed. The answer is worked out once per run.

#include <optional>
#include <string>
#include <string_view>

#include "document/EditPermission.h"

class InstrumentEditPermission : public EditPermission {
  public:
    static constexpr const char* kConfigFile = "Tessarin.ini";
    // Where the instrument software keeps its settings (the system scope).
    static constexpr const char* kInstrumentCompany = "Corvandel";
    static constexpr const char* kInstrumentKey = "Tessarin";
    static constexpr const char* kAllowEdit = "ALLOW EDIT";

    // `dataSystemPath`: the instrument's system folder, when its settings name one.
    explicit InstrumentEditPermission(std::optional<std::string> dataSystemPath)
        : m_dataSystemPath(std::move(dataSystemPath)) {}
    // The permission that the instrument software's system settings give; the
    // editor and the command-line tool both ask this one.
    static InstrumentEditPermission FromSystemSettings();
    bool IsEditAllowed() const override;

    // The rule applied to the configuration file's text.
    static bool TextAllowsEditing(std::string_view text);
    // The rule applied to the file in `dataSystemPath` (unreadable: allowed).
    static bool FolderAllowsEditing(const std::string& dataSystemPath);
    static std::string ConfigPath(const std::string& dataSystemPath);

  private:
    std::optional<std::string> m_dataSystemPath;
    mutable bool m_bEditKnown = false;
    mutable bool m_bEditAllowed = true;
};
