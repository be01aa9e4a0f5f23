#pragma once
// The window that counts the files a folder-wide write has done (the folder-wide
// Save, the plate sheet's Apply): made on the first count, modal to `parent`'s
// window, kept until its owner lets it go.

#include <QProgressDialog>
#include <cstddef>
#include <memory>

void ShowFolderProgress(std::unique_ptr<QProgressDialog>& dialog, QWidget* parent,
                        std::size_t done, std::size_t total);
