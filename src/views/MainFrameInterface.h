#pragma once
// What the views ask of the main frame, and the commands they share with it.
// The main frame implements it and makes itself current; during in-place
// activation there is no current main frame and the views skip these requests.

class CommandSet;

class MainFrameInterface {
  public:
    virtual ~MainFrameInterface() = default;
    virtual void ShowStandardHeader(bool show) = 0;
    virtual void SetFolderEditIndicator(bool folderEditMode) = 0;

    static MainFrameInterface* Current() { return s_pCurrent; }
    static void SetCurrent(MainFrameInterface* frame) { s_pCurrent = frame; }

  private:
    static inline MainFrameInterface* s_pCurrent = nullptr;
};
