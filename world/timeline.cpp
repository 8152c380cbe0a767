#include "world/timeline.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unordered_map>

namespace {

// The field of the checkpoint's table that keyframes share in this way.
const checkpoint_field_type& field_shared(checkpoint_share_type share)
{
    for (const checkpoint_field_type& field : checkpoint_fields())
        if (field.share == share) return field;
    throw std::logic_error("a checkpoint without a field shared so");
}

bool valid_for(const std::vector<run_event_type>& applied, run_point_type point, const std::vector<run_event_type>& events)
{
    if (applied.size() > events.size() || !std::equal(applied.begin(), applied.end(), events.begin())) return false;
    // A change the branch made before this point and the keyframe lacks makes it another course.
    return applied.size() == events.size() ||
           run_point_type{events[applied.size()].generation, events[applied.size()].update} >= point;
}

bool valid_for(const timeline_keyframe_type& keyframe, const timeline_branch_type& branch)
{
    return valid_for(keyframe.applied, keyframe.point, branch.events);
}

// What the shared parts hold, counted once: when the last keyframe holding one lets go, its bytes go too.
template <class Shared> std::size_t shared_bytes(const Shared& part)
{
    return part->size() * sizeof((*part)[0]);
}

std::size_t release(timeline_type& timeline, timeline_keyframe_type& keyframe)
{
    std::size_t freed = keyframe.own_bytes;
    for (timeline_genes_type& genes : keyframe.genes)
        if (genes.use_count() == 1) freed += shared_bytes(genes);
    for (timeline_chunk_type& chunk : keyframe.history)
        if (chunk.use_count() == 1) freed += shared_bytes(chunk);
    if (keyframe.food_map.use_count() == 1) freed += shared_bytes(keyframe.food_map);
    timeline.bytes -= freed;
    return freed;
}

void erase_keyframe(timeline_type& timeline, std::size_t k)
{
    release(timeline, timeline.keyframes[k]);
    timeline.keyframes.erase(timeline.keyframes.begin() + static_cast<std::ptrdiff_t>(k));
}

// The latest keyframe at or before the point; null for none.
const timeline_keyframe_type* keyframe_before(const timeline_type& timeline, run_point_type point)
{
    const auto after = std::upper_bound(timeline.keyframes.begin(), timeline.keyframes.end(), point,
                                        [](run_point_type p, const timeline_keyframe_type& k) { return p < k.point; });
    return after == timeline.keyframes.begin() ? nullptr : &*(after - 1);
}

timeline_keyframe_type capture(timeline_type& timeline, world_type& world)
{
    timeline_keyframe_type keyframe;
    keyframe.point = world_point(world);
    keyframe.applied.assign(world.run.events.begin(), world.run.events.begin() + static_cast<std::ptrdiff_t>(world.run.next));
    // The history is kept in shared chunks, not in the capture.
    // Captured into the room of the last capture, and copied from there but
    // for the genes, which go to shared rows: a large world's capture then
    // neither allocates nor copies the genes twice.
    std::vector<generation_record_type> history;
    history.swap(world.history);
    checkpoint_capture_into(world, timeline.scratch);
    history.swap(world.history);
    const std::span<const checkpoint_field_type> fields = checkpoint_fields();
    keyframe.state.arrays.resize(timeline.scratch.arrays.size());
    for (std::size_t a = 0; a < timeline.scratch.arrays.size(); ++a) {
        const checkpoint_array_type& from = timeline.scratch.arrays[a];
        checkpoint_array_type& to = keyframe.state.arrays[a];
        to.name = from.name;
        to.descr = from.descr;
        to.shape = from.shape;
        const checkpoint_share_type share =
            a < checkpoint_leading_members ? checkpoint_share_type::none : fields[a - checkpoint_leading_members].share;
        if (share == checkpoint_share_type::per_animal) {
            // Into shared rows below.
        } else if (share == checkpoint_share_type::whole) {
            // The same map as the keyframe before, as a rule: shared, not copied.
            const timeline_keyframe_type* before = keyframe_before(timeline, keyframe.point);
            if (before != nullptr && before->food_map && *before->food_map == from.data) {
                keyframe.food_map = before->food_map;
            } else {
                keyframe.food_map = std::make_shared<const std::vector<unsigned char>>(from.data);
                timeline.bytes += from.data.size();
            }
        } else {
            to.data = from.data;
        }
    }
    const checkpoint_array_type& genes = checkpoint_member(timeline.scratch, field_shared(checkpoint_share_type::per_animal));

    const timeline_keyframe_type* before = keyframe_before(timeline, keyframe.point);
    const checkpoint_array_type& ids = checkpoint_member(keyframe.state, field_shared(checkpoint_share_type::animal_ids));
    const std::size_t animals = world.num_animals;
    const std::size_t width = animals == 0 ? 0 : genes.data.size() / animals;
    std::unordered_map<std::uint64_t, std::size_t> earlier;
    if (before != nullptr)
        for (std::size_t r = 0; r < before->ids.size(); ++r) earlier.emplace(before->ids[r], r);
    keyframe.ids.resize(animals);
    keyframe.genes.resize(animals);
    for (std::size_t r = 0; r < animals; ++r) {
        keyframe.ids[r] = npz_get_value<std::uint64_t>(ids.data.data() + r * 8);
        const unsigned char* row = genes.data.data() + r * width;
        const auto found = earlier.find(keyframe.ids[r]);
        if (found != earlier.end()) {
            const timeline_genes_type& same = before->genes[found->second];
            if (same->size() == width && std::memcmp(same->data(), row, width) == 0) {
                keyframe.genes[r] = same;
                continue;
            }
        }
        keyframe.genes[r] = std::make_shared<const std::vector<unsigned char>>(row, row + width);
        timeline.bytes += width;
    }

    const std::vector<generation_record_type>& rows = world.history;
    for (std::size_t at = 0; at < rows.size(); at += timeline_chunk_rows) {
        const std::size_t count = std::min(timeline_chunk_rows, rows.size() - at);
        const std::size_t c = at / timeline_chunk_rows;
        if (count == timeline_chunk_rows && before != nullptr && c < before->history.size()) {
            const timeline_chunk_type& same = before->history[c];
            if (same->size() == count && std::memcmp(same->data(), &rows[at], count * sizeof rows[0]) == 0) {
                keyframe.history.push_back(same);
                continue;
            }
        }
        keyframe.history.push_back(std::make_shared<const std::vector<generation_record_type>>(rows.begin() + static_cast<std::ptrdiff_t>(at),
                                                                                            rows.begin() + static_cast<std::ptrdiff_t>(at + count)));
        timeline.bytes += count * sizeof rows[0];
    }

    for (const checkpoint_array_type& array : keyframe.state.arrays) keyframe.own_bytes += array.data.size() + sizeof array;
    keyframe.own_bytes += keyframe.applied.size() * sizeof(run_event_type);
    timeline.bytes += keyframe.own_bytes;
    return keyframe;
}

// Drops keyframes until they fit the budget: each time the one whose going
// leaves the smallest gap for its age, so that gaps grow with age. The one
// to keep goes last.
void thin(timeline_type& timeline, const timeline_keyframe_type* keep)
{
    while (timeline.bytes > timeline.budget && !timeline.keyframes.empty()) {
        std::vector<timeline_keyframe_type>& frames = timeline.keyframes;
        const std::size_t n = frames.size();
        std::uint32_t newest = 0;
        for (const timeline_keyframe_type& frame : frames) newest = std::max(newest, frame.point.generation);
        std::size_t victim = n;
        double least = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (&frames[i] == keep && n > 1) continue;
            const double before = i > 0 ? frames[i - 1].point.generation : timeline.start.generation;
            const double after = i + 1 < n ? frames[i + 1].point.generation : newest + 1.0;
            const double age = 1.0 + newest - frames[i].point.generation;
            const double score = (after - before) / age;
            if (victim == n || score < least) {
                victim = i;
                least = score;
            }
        }
        const bool kept_moves = keep != nullptr && victim < static_cast<std::size_t>(keep - frames.data());
        erase_keyframe(timeline, victim);
        if (keep != nullptr && n > 1) keep -= kept_moves ? 1 : 0;
        if (n == 1) keep = nullptr;
    }
}

bool has_keyframe(const timeline_type& timeline, run_point_type point, const timeline_branch_type& branch)
{
    for (auto at = std::lower_bound(timeline.keyframes.begin(), timeline.keyframes.end(), point,
                                    [](const timeline_keyframe_type& k, run_point_type p) { return k.point < p; });
         at != timeline.keyframes.end() && at->point == point; ++at)
        if (valid_for(*at, branch)) return true;
    return false;
}

void keep(timeline_type& timeline, world_type& world, const timeline_branch_type& branch)
{
    if (timeline.budget == 0 || has_keyframe(timeline, world_point(world), branch)) return;
    timeline_keyframe_type keyframe = capture(timeline, world);
    const auto at = std::upper_bound(timeline.keyframes.begin(), timeline.keyframes.end(), keyframe.point,
                                     [](run_point_type p, const timeline_keyframe_type& k) { return p < k.point; });
    const auto placed = timeline.keyframes.insert(at, std::move(keyframe));
    thin(timeline, &*placed);
}

void restore(timeline_keyframe_type& keyframe, world_type& world)
{
    // The shared parts go back into the capture only while it loads.
    checkpoint_array_type& genes = checkpoint_member(keyframe.state, field_shared(checkpoint_share_type::per_animal));
    for (const timeline_genes_type& row : keyframe.genes) genes.data.insert(genes.data.end(), row->begin(), row->end());
    checkpoint_array_type& map = checkpoint_member(keyframe.state, field_shared(checkpoint_share_type::whole));
    if (keyframe.food_map) map.data = *keyframe.food_map;
    checkpoint_apply(world, keyframe.state);
    genes.data.clear();
    genes.data.shrink_to_fit();
    map.data.clear();
    map.data.shrink_to_fit();
    world.history.clear();
    for (const timeline_chunk_type& chunk : keyframe.history) world.history.insert(world.history.end(), chunk->begin(), chunk->end());
}

// While it goes, the world writes no log, lineage or console lines: those generations were told when they first ran.
struct quiet_type {
    world_type& world;
    world_options_type kept;
    bool running, draw_enabled;
    std::int32_t updates_per_tick;
    std::uint64_t changes;

    explicit quiet_type(world_type& w)
        : world(w), kept(w.options), running(w.running), draw_enabled(w.draw_enabled), updates_per_tick(w.updates_per_tick),
          changes(w.run.changes)
    {
        world.options.log_path.clear();
        world.options.lineage_path.clear();
        world.options.console = false;
        world.options.console_scores = false;
    }
    ~quiet_type()
    {
        world.lineage_rows.clear();
        world.options.log_path = kept.log_path;
        world.options.lineage_path = kept.lineage_path;
        world.options.console = kept.console;
        world.options.console_scores = kept.console_scores;
        world.running = running;
        world.draw_enabled = draw_enabled;
        world.updates_per_tick = updates_per_tick;
        world.run.changes = changes;
    }
};

// The number of the branch's changes made before a point.
std::size_t changes_before(const timeline_branch_type& branch, run_point_type point)
{
    std::size_t made = 0;
    while (made < branch.events.size() && run_point_type{branch.events[made].generation, branch.events[made].update} < point) ++made;
    return made;
}

// To the point with exactly limit of the branch's changes made: those before
// it, and as many of those at it as limit leaves.
refusal_type go_to(timeline_type& timeline, world_type& world, std::size_t b, run_point_type point, std::size_t limit,
                  const std::function<bool(double)>& progress)
{
    timeline_branch_type& branch = timeline.branches[b];
    if (point < timeline.start) return "the run starts later";
    quiet_type quiet(world);
    // Kept whole only where the replay may be cancelled.
    checkpoint_type before;
    std::vector<generation_record_type> history_before;
    run_type run_before;
    if (progress) {
        checkpoint_capture_into(world, before);
        history_before = world.history;
        run_before = world.run;
    }

    const run_point_type here = world_point(world);
    const std::vector<run_event_type> applied(world.run.events.begin(), world.run.events.begin() + static_cast<std::ptrdiff_t>(world.run.next));
    timeline_keyframe_type* from = nullptr;
    for (auto at = timeline.keyframes.rbegin(); at != timeline.keyframes.rend(); ++at)
        if (at->point <= point && at->applied.size() <= limit && valid_for(*at, branch)) {
            from = &*at;
            break;
        }
    const bool onward = here <= point && applied.size() <= limit && valid_for(applied, here, branch.events) &&
                        (from == nullptr || from->point <= here);
    std::size_t next = world.run.next;
    if (!onward) {
        if (from != nullptr) {
            restore(*from, world);
            next = from->applied.size();
        } else {
            if (!timeline.restart) return "no state is kept from before that point";
            if (refusal_type problem = timeline.restart(world); !problem.empty()) return problem;
            next = timeline.start_events;
        }
    }
    world.run.events = branch.events;
    world.run.next = next;
    world.running = true;

    const run_point_type first = world_point(world);
    const double length = std::max(1, world.generation_length);
    const double total = std::max(1.0, (static_cast<double>(point.generation) - first.generation) * length + point.update - first.update);
    double done = 0.0;
    // Told at the first update, then every 50 ms.
    auto told = std::chrono::steady_clock::now() - std::chrono::milliseconds(60);
    while (world_point(world) < point) {
        if (world.animals == nullptr && world.run.next >= world.run.events.size() && world.update_count + 1 >= world.generation_length)
            return "the run has no animals to reach generation " + std::to_string(point.generation);
        world_update(world);
        done += 1.0;
        if (world.update_count == 0) keep(timeline, world, branch);
        if (progress && std::chrono::steady_clock::now() - told > std::chrono::milliseconds(50)) {
            told = std::chrono::steady_clock::now();
            if (!progress(std::min(1.0, done / total))) {
                checkpoint_apply(world, before);
                world.history = std::move(history_before);
                world.run = std::move(run_before);
                return refusal_type("cancelled", refusal_kind_type::cancelled);
            }
        }
    }
    world_apply_events_until(world, limit);
    return {};
}

void keep_longest_history(timeline_branch_type& branch, const world_type& world)
{
    if (world.history.size() >= branch.history.size()) branch.history = world.history;
}

}  // namespace

run_point_type world_point(const world_type& world) { return run_point_type{world.generation, world.update_count}; }

void timeline_begin(timeline_type& timeline, world_type& world)
{
    timeline.keyframes.clear();
    timeline.bytes = 0;
    timeline.start = world_point(world);
    timeline.start_events = world.run.next;
    timeline.changes_seen = world.run.changes;
    timeline_branch_type first;
    first.from = first.reach = timeline.start;
    first.reach_changes = world.run.next;
    first.events = world.run.events;
    timeline.branches.assign(1, std::move(first));
    timeline.current = 0;
    keep(timeline, world, timeline.branches[0]);
}

void timeline_note(timeline_type& timeline, world_type& world)
{
    if (timeline.branches.empty()) timeline_begin(timeline, world);
    const run_point_type here = world_point(world);
    if (world.run.changes != timeline.changes_seen) {
        timeline.changes_seen = world.run.changes;
        timeline_branch_type& branch = timeline.branches[timeline.current];
        if (world.run.events != branch.events) {
            const bool extends = branch.events.size() <= world.run.events.size() &&
                                 std::equal(branch.events.begin(), branch.events.end(), world.run.events.begin());
            if (here >= branch.reach && extends) {
                branch.events = world.run.events;   // made at its end: the branch goes on with it
            } else {
                // Made behind its reach, or taking changes back: the branch as it ran stays, and this one leaves it.
                const std::vector<run_event_type>& old = branch.events;
                const std::vector<run_event_type>& now = world.run.events;
                std::size_t same = 0;
                while (same < old.size() && same < now.size() && old[same] == now[same]) ++same;
                timeline_branch_type made;
                made.number = 1;
                for (const timeline_branch_type& other : timeline.branches) made.number = std::max(made.number, other.number + 1);
                made.parent = branch.number;
                made.from = same < now.size() ? run_point_type{now[same].generation, now[same].update} : here;
                made.reach = here;
                made.reach_changes = world.run.next;
                made.events = now;
                timeline.branches.push_back(std::move(made));
                timeline.current = timeline.branches.size() - 1;
            }
        }
    }
    timeline_branch_type& branch = timeline.branches[timeline.current];
    if (here >= branch.reach) {
        branch.reach = here;
        branch.reach_changes = world.run.next;
    }
    if (world.update_count == 0) keep(timeline, world, branch);
}

refusal_type timeline_go(timeline_type& timeline, world_type& world, run_point_type point, const std::function<bool(double)>& progress)
{
    timeline_note(timeline, world);
    timeline_branch_type& branch = timeline.branches[timeline.current];
    keep_longest_history(branch, world);
    return go_to(timeline, world, timeline.current, point, changes_before(branch, point), progress);
}

refusal_type timeline_go_before_change(timeline_type& timeline, world_type& world, std::size_t change,
                                     const std::function<bool(double)>& progress)
{
    timeline_note(timeline, world);
    timeline_branch_type& branch = timeline.branches[timeline.current];
    if (change >= branch.events.size()) return "there is no such change";
    keep_longest_history(branch, world);
    const run_event_type& made = branch.events[change];
    return go_to(timeline, world, timeline.current, run_point_type{made.generation, made.update}, change, progress);
}

void timeline_keep(timeline_type& timeline, world_type& world)
{
    timeline_note(timeline, world);
    keep(timeline, world, timeline.branches[timeline.current]);
}

refusal_type timeline_switch(timeline_type& timeline, world_type& world, std::size_t branch, const std::function<bool(double)>& progress)
{
    if (branch >= timeline.branches.size()) return "there is no such branch";
    timeline_note(timeline, world);
    keep_longest_history(timeline.branches[timeline.current], world);
    // The branch left is found again at the point it was left (noted above).
    if (world.update_count != 0) keep(timeline, world, timeline.branches[timeline.current]);
    const timeline_branch_type& to = timeline.branches[branch];
    const std::size_t made = std::clamp(to.reach_changes, changes_before(to, to.reach), to.events.size());
    if (refusal_type problem = go_to(timeline, world, branch, to.reach, made, progress); !problem.empty())
        return problem;
    timeline.current = branch;
    return {};
}

void timeline_delete(timeline_type& timeline, std::size_t branch)
{
    if (branch >= timeline.branches.size() || branch == timeline.current) return;
    timeline.branches.erase(timeline.branches.begin() + static_cast<std::ptrdiff_t>(branch));
    if (timeline.current > branch) timeline.current -= 1;
    for (std::size_t k = timeline.keyframes.size(); k-- > 0;) {
        bool used = false;
        for (const timeline_branch_type& other : timeline.branches) used = used || valid_for(timeline.keyframes[k], other);
        if (!used) erase_keyframe(timeline, k);
    }
}

void timeline_set_budget(timeline_type& timeline, std::size_t bytes)
{
    timeline.budget = bytes;
    thin(timeline, nullptr);
}

const std::vector<generation_record_type>& timeline_history(const timeline_type& timeline, const world_type& world, std::size_t branch)
{
    return branch == timeline.current ? world.history : timeline.branches[branch].history;
}
