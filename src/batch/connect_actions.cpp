// The batch actions of Connect, Connect Shadow, Connect Blank and the level settings. They act on
// the selection (select-frame, select-mesh) and the picked bone (pick-bone), as the buttons do.
#include <charconv>

#include "batch/batch.h"
#include "batch/batch_viewport.h"
#include "tools/connect.h"
#include "tools/merge_settings.h"

namespace ms {
namespace {

using Args = std::span<const std::string>;

Status Level(BatchContext& c, Args args) {
    int level = -1;
    const std::string& text = args[0];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), level);
    if (error != std::errc() || end != text.data() + text.size() || !SetLevel(c.levels, level))
        return Status::Error("level '" + text + "': say a level from 0 to 9");
    return Status::Ok();
}

Status Distance(BatchContext& c, Args args) {
    if (!SetDistance(c.levels, args[0]))
        return Status::Error("distance '" + args[0] + "' is not a finite number");
    return Status::Ok();
}

// Connect or Connect Shadow of the selection. Every mesh node that could be connected is; the
// action fails when any was refused, naming each with its reason.
Status ConnectAction(BatchContext& c, ConnectKind kind, const char* command) {
    const ModelSelection selection = c.viewport->selection;
    if (selection.index < 0) return Status::Error("nothing is selected (select-frame or select-mesh first)");
    ConnectOutcome outcome;
    const Status run = c.editor.Run(command, [&](Model& m, Scene& s) {
        outcome = ConnectSelection(m, s, kind, selection.index, selection.kind == 1, c.levels.Threshold());
        return outcome.changed() || outcome.refusals.empty() ? Status::Ok() : Status::Error(outcome.Report());
    });
    c.viewport->options.display = false;
    if (!run) return run;
    if (!outcome.refusals.empty())
        return Status::Error(std::to_string(outcome.connected) + " mesh node(s) connected, " +
                             std::to_string(outcome.refusals.size()) + " refused:\n" + outcome.Report());
    return Status::Ok();
}

Status ConnectMeshes(BatchContext& c, Args) { return ConnectAction(c, ConnectKind::kMesh, "Connect"); }
Status ConnectShadows(BatchContext& c, Args) { return ConnectAction(c, ConnectKind::kShadow, "Connect Shadow"); }

Status Blank(BatchContext& c, Chain chain, const char* command) {
    return c.editor.Run(command, [&](Model&, Scene& s) { return ConnectBlank(s, chain, c.levels.Threshold()); });
}

Status ConnectBlankMesh(BatchContext& c, Args) { return Blank(c, Chain::kMesh, "Connect Blank"); }
Status ConnectBlankShadow(BatchContext& c, Args) { return Blank(c, Chain::kShadow, "Connect Blank Shadow"); }

const BatchAction kActions[] = {
    {"level", 1, 1, "N", Level},
    {"distance", 1, 1, "D", Distance},
    {"connect", 0, 0, "", ConnectMeshes},
    {"connect-shadow", 0, 0, "", ConnectShadows},
    {"connect-blank", 0, 0, "", ConnectBlankMesh},
    {"connect-blank-shadow", 0, 0, "", ConnectBlankShadow},
};

}  // namespace

std::span<const BatchAction> ConnectActions() { return kActions; }

}  // namespace ms
