#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

namespace vistrel {

class SelectionView;

// The translucent panel of action buttons under a finished selection.
class SelectionToolbar : public QWidget
{
    Q_OBJECT
public:
    explicit SelectionToolbar(SelectionView *view);
    static constexpr QSize panelSize{306, 46}; // with English titles; longer ones widen it
    // The buttons' font, and their titles in the user's language one after the other (the
    // overlay loads the glyphs they need ahead of the first paint).
    static QFont font();
    static QString titles();

protected:
    void paintEvent(QPaintEvent *) override;
};

} // namespace vistrel
