#pragma once

#include <QString>
#include <QUrl>

#include <array>
#include <functional>
#include <optional>

namespace talvor {

// The user manual installed with the program: share/talvor/manual/index.html in the
// program's data folder, one section per window or pane. Help opens it through the desktop,
// so it works offline and matches the installed version.
class Manual {
  public:
    // The places the program opens the manual at.
    enum class Section {
        Contents,
        TimeMenu,
        DateMenu,
        MenuItems,
        Chimes,
        SetTimeZone,
        LightDark,
        MenubarCalendar,
        ApplicationsMenu,
        About,
        CreateAlarm,
        FloatingClocks,
        GlobalScheduler,
        LocationPicker,
        Take5,
        CountdownTimer,
        General,
    };
    static constexpr std::array kSections = {
        Section::Contents,        Section::TimeMenu,        Section::DateMenu,
        Section::MenuItems,       Section::Chimes,          Section::SetTimeZone,
        Section::LightDark,       Section::MenubarCalendar, Section::ApplicationsMenu,
        Section::About,           Section::CreateAlarm,     Section::FloatingClocks,
        Section::GlobalScheduler, Section::LocationPicker,  Section::Take5,
        Section::CountdownTimer,  Section::General,
    };

    // The id of the section's heading in the manual ("pane-chimes").
    static QString anchor(Section section);
    // Where the manual's page is, whether or not it is installed.
    static QString indexPath();
    // The section as a file: URL with the anchor; none when the manual is not installed.
    static std::optional<QUrl> url(Section section);
    // Opens the manual at `section` through `opener` (empty: the desktop's, through the
    // workspace). A missing manual is one log line and nothing opens: false then.
    static bool open(Section section, const std::function<void(const QUrl& url)>& opener = {});
};

}  // namespace talvor
