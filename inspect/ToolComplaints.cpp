#include "ToolComplaints.h"

#include "BadgingLine.h"

#include <algorithm>
#include <optional>

namespace {

// aapt's own prefix for a complaint about a place in a file: "FILE:LINE: error: ".
constexpr QByteArrayView PlacePrefix = ": error: ";
constexpr QByteArrayView BarePrefix = "error: ";
constexpr QByteArrayView Error = "ERROR";

// The complaint a line makes, without the place it names; nothing when it makes none.
std::optional<QByteArrayView> Complaint(QByteArrayView line)
{
    if (line.startsWith("ERROR"))
        return line;
    if (line.startsWith(BarePrefix))
        return line.sliced(BarePrefix.size());
    // The place is a file name and a line number: no quoted value and no blank comes before.
    const qsizetype place = line.indexOf(PlacePrefix);
    if (place <= 0)
        return std::nullopt;
    const QByteArrayView before = line.first(place);
    if (before.contains('\'') || before.contains(' '))
        return std::nullopt;
    return line.sliced(place + PlacePrefix.size());
}

bool WordsSayError(QByteArrayView line)
{
    return line.contains(Error) && ParseBadgingLine(line).toolWords.contains(Error);
}

} // namespace

bool ToolSaysError(QByteArrayView output)
{
    for (qsizetype start = 0; start < output.size();) {
        const qsizetype end = output.indexOf('\n', start);
        const qsizetype next = end < 0 ? output.size() : end;
        if (WordsSayError(output.sliced(start, next - start)))
            return true;
        start = next + 1;
    }
    return false;
}

QList<QByteArray> ToolComplaints(const QByteArray &output)
{
    QList<QByteArray> complaints;
    for (const QByteArray &line : output.split('\n')) {
        if (Complaint(line))
            complaints.append(line);
        else if (WordsSayError(line))
            complaints.append(line.sliced(line.indexOf(Error)));
    }
    return complaints;
}

bool ComplainsOnlyOfLabelsAndIcons(const QList<QByteArray> &complaints)
{
    // What aapt says when it resolves a label or an icon: the reference leads nowhere, or to
    // something that is no string (a file's path is one). A value that is itself corrupt is no
    // such complaint.
    static const QList<QByteArrayView> Attributes = {"ERROR getting 'android:icon' attribute: ",
                                                     "ERROR getting 'android:label' attribute: "};
    static const QList<QByteArrayView> Reasons = {"attribute value reference does not exist",
                                                  "attribute is not a string value"};
    for (const QByteArray &line : complaints) {
        const std::optional<QByteArrayView> complaint = Complaint(line);
        const auto attribute =
            std::find_if(Attributes.begin(), Attributes.end(), [&](QByteArrayView prefix) {
                return complaint && complaint->startsWith(prefix);
            });
        if (attribute == Attributes.end() ||
            !Reasons.contains(complaint->sliced(attribute->size())))
            return false;
    }
    return true;
}
