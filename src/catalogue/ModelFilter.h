#pragma once

#include "MainState.h"
#include "startup/JsonNode.h"

#include <QString>
#include <vector>

// Finding a camera by a part of its name. Names are compared folded: in
// compatibility form (full-width letters and digits as the ordinary ones),
// without case, and without any kind of space or dash, so "eosr5" finds
// "EOS R5" and "ｚ８" finds "Z 8".
QString FoldModelName(const QString& text);

// The lines of a model list as the browser shows them (each body, then its
// kit lenses), with the folded body names kept, so that a keystroke only
// compares texts.
class ModelFilter
{
public:
    // A body of this name followed by kitLines kit-lens lines.
    void AddBody(const QString& name, int kitLines);
    void Clear() { bodies_.clear(), lines_ = 0; }
    int LineCount() const { return lines_; }

    // One flag per line: shown under the find text. A kit-lens line goes with
    // its body; an empty text shows every line.
    std::vector<bool> VisibleLines(const QString& text) const;

private:
    struct Body
    {
        QString folded;
        int firstLine = 0;
        int lines = 1; // the body and its kit lenses
    };
    std::vector<Body> bodies_;
    int lines_ = 0;
};

// Whether a model list (an array of model records) has a body whose name
// holds the text.
bool ModelsMatch(const JsonNode& models, const QString& text);

// Whether row of the main list stays shown under the find text: a built-in
// row when the equipment database lists a matching body of its maker, an
// extension row when its installed or unpacked model list has one. A package
// without a model list on this computer stays shown with its status, so the
// user still sees what could be installed.
bool RowMatchesFind(const MainState& state, int row, const QString& text);
