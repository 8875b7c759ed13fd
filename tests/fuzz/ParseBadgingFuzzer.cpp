// libFuzzer target: any tool output must parse without a crash, and the result must keep the
// parser's promises. The details window's line reader and the complaint reader take the same
// output.
#include "Require.h"
#include "details/PackageFacts.h"
#include "inspect/BadgingParser.h"
#include "inspect/ToolComplaints.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray output(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const IconEntry &icon : ReadPackageFacts(output).icons)
        Require(output.contains("application-icon-") && !icon.path.contains('\n'));
    // Complaints are lines of the output, or their ends; only those the strict rule sees can be
    // excused.
    const QList<QByteArray> complaints = ToolComplaints(output);
    for (const QByteArray &line : complaints)
        Require(!line.contains('\n') && output.contains(line));
    Require(!ComplainsOnlyOfLabelsAndIcons(complaints) || complaints.isEmpty() ||
            output.contains("ERROR"));
    BadgingInfo info;
    const BadgingStatus status = ParseBadging(output, info);
    // Whatever makes the tool's words say "ERROR" is a complaint of its own, so no excuse holds
    // for want of one; and what finished lines say stays said as more output arrives.
    Require(status != ToolError ||
            std::any_of(complaints.cbegin(), complaints.cend(),
                        [](const QByteArray &line) { return line.contains("ERROR"); }));
    const qsizetype finished = output.indexOf('\n', output.size() / 2) + 1;
    Require(finished == 0 || !ToolSaysError(QByteArrayView(output).first(finished)) ||
            status == ToolError);
    const bool nothing =
        info.packageName.isEmpty() && info.versionName.isEmpty() && info.iconPath.isEmpty();
    switch (status) {
    case NoOutput:
        Require(size == 0 && nothing);
        break;
    case ToolError:
        Require(output.contains("ERROR") && nothing);
        break;
    case NoPackageLine:
        Require(!output.contains("package: name=") && nothing);
        break;
    case Parsed:
        // Values never hold the apostrophes that delimit them, and always come from the output.
        for (const QByteArray *value : {&info.packageName, &info.versionName, &info.iconPath})
            Require(!value->contains('\'') && output.contains(*value));
        Require(info.iconPath.isEmpty() || output.contains("application-icon"));
        break;
    default:
        std::abort();
    }
    return 0;
}
