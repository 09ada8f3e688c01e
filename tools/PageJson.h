// The JSON form of page files that cvtool prints ("info") and reads ("build").
//
// Threads: the tool's main thread.
#pragma once

#include "core/Frame.h"
#include "core/PageFile.h"

#include <QJsonObject>
#include <QString>
#include <memory>
#include <vector>

namespace PageJson {

// A file named in a description: a relative path is taken below folder.
QString ResolvePath(const QString& path, const QString& folder);

// The header and every object of a page as read, with stored fields by name.
QJsonObject Describe(const PageHeader& header, const std::vector<std::unique_ptr<CFrame>>& objects);

// A page built from a JSON description for the video mode modeIndex. Relative frame
// data files are found beside the description (baseFolder); relative text and image
// file names are taken below the page's folder (pageFolder). Returns false with a
// message in error when the description is invalid; nothing is built then.
struct BuiltPage {
    std::vector<std::unique_ptr<CFrame>> objects;
    CPicture canvas;  // empty unless the description gives one
};
bool Build(const QJsonObject& description, int modeIndex, const QString& baseFolder, const QString& pageFolder,
           BuiltPage& page, QString& error);

}  // namespace PageJson
