// What the thumbnail job shows and writes, as the scenarios compare it: the captions of
// its boxes and the statement of one row of imagelog.sql.
#ifndef FOTOBATCH_JOBTEXTS_H
#define FOTOBATCH_JOBTEXTS_H

#include <algorithm>
#include <string>

// The description dialog, the box of an entry that did not load, a report of the library.
static const char recordCaption[] = "Установка описаний файлов для сайта example.org";
static const char loadCaption[] = "dib = GenericLoader(WFD.cFileName, 0)";
static const char libraryCaption[] = "File not IMAGE FORMAT";

// One statement of imagelog.sql with the values as they stand between its brackets.
inline std::string Statement(const std::string &values)
{
    return "INSERT INTO photo_img (`name`, `img_name`, `commentary`, `width`, `height`, `size`, "
           "`date`, `sec_id`, `dir`) VALUES (" + values + ");\n";
}

// How many rows a log holds: one line each.
inline int RowCount(const std::string &log)
{
    return (int)std::count(log.begin(), log.end(), '\n');
}

#endif
