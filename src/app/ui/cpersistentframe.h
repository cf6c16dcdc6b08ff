// A main window that reopens where it was when the program last ended (profile section "Window size").
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringView>

#include <optional>

class CIniFile;

class CPersistentFrame : public QMainWindow
{
    Q_OBJECT
public:
    // A window rectangle as left, top, right and bottom (right and bottom exclusive).
    struct Rect
    {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
        bool operator==(const Rect &) const = default;
    };

    // Where the window goes without a stored placement: 500 × 140 at the top-left corner.
    static constexpr Rect kDefaultRect{0, 0, 500, 140};

    explicit CPersistentFrame(QWidget *parent = nullptr);
    // Writes the placement if the frame was ever shown.
    ~CPersistentFrame() override;

    // Shows the frame. The first call puts it where the profile says (normal, maximized or
    // minimized without activation); later calls only show and raise it.
    void ActivateFrame();
    // Writes "Rect", "icon" and "max" of the current placement to the profile.
    void SavePlacement();

    // A window's normal place as the profile keeps it: the frame's corner and the client area's size.
    static Rect NormalRect(const QWidget *window);
    // "Rect" of a profile section, the form every window's place is kept in; nothing when absent.
    static std::optional<Rect> StoredRect(const CIniFile &profile, const QString &section);
    static void StoreRect(CIniFile &profile, const QString &section, const Rect &rect);
    // "%4d %4d %4d %4d ": each number right-aligned in at least four characters, then a blank.
    static QString FormatRect(const Rect &rect);
    // The integers that start at character positions 0, 5, 10 and 15, each read like atoi.
    static Rect ParseRect(QStringView text);
    // atoi at `position`: blanks skipped, optional sign, digits; past the end or no digits gives 0.
    static int ReadInteger(QStringView text, qsizetype position);

protected:
    bool m_bFirstTime = true;

private:
    void RestorePlacement();
};
