#pragma once
// What the views ask of the main frame. The main frame implements it and
// passes itself to its views (CEntryTableView::SetFrame); during in-place
// activation it takes itself back and the views skip these requests.

class CommandSet;

class MainFrameInterface {
  public:
    virtual ~MainFrameInterface() = default;
    virtual void ShowStandardHeader(bool show) = 0;
    virtual void SetFolderEditIndicator(bool folderEditMode) = 0;
};
