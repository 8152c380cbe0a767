#include "cli/options.h"

#include "world/world.h"
#include "world/world_file.h"
#include "video/video.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

const char* const options_usage =
    "Usage: velmora [OPTIONS] [FILE.dat]\n"
    "       velmora --headless --generations N [OPTIONS]\n"
    "       velmora summarize RUN.csv... [--out FILE.csv] [--plot FILE.png]\n"
    "       velmora summarize --muller LINEAGE.csv --plot FILE.png\n"
    "Run 'velmora --help' for every option.\n";

bool world_settings_type::any() const
{
    return animals || plants || width || height || layer_count || layer_width || generation_length || mutate_amount ||
           animal_size || plant_size;
}

namespace {

struct bad_option {
    std::string reason;
};

std::string whole_range(std::int64_t low, std::int64_t high)
{
    return "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

// A whole decimal number in [low, high], nothing else around it.
std::int64_t whole(const std::string& name, const std::string& text, std::int64_t low, std::int64_t high)
{
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || value < low || value > high)
        throw bad_option{name + " " + text + ": must be " + whole_range(low, high)};
    return value;
}

// A finite decimal number of at least low ('.' as decimal point, whatever the locale).
double real(const std::string& name, const std::string& text, double low)
{
    double value = 0.0;
    const char* begin = text.data() + (!text.empty() && text.front() == '+');
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(begin, end, value);
    const bool bounded = low == -std::numeric_limits<double>::infinity();
    if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(value) || value < low)
        throw bad_option{name + " " + text + ": must be a finite number" +
                         (bounded ? std::string() : " of at least " + std::string(low == world_file_min_size ? "0.000001" : "0"))};
    return value;
}

void check_world(const world_settings_type& s);

struct raw_settings_type {
    std::string animals, plants, width, height, layer_count, layer_width, generation_length, mutate_amount,
        animal_size, plant_size, line_horizon;
};

void convert_settings(const raw_settings_type& raw, world_settings_type& settings)
{
    const auto set_whole = [](std::optional<std::int32_t>& field, const char* name, const std::string& text,
                              std::int64_t low, std::int64_t high) {
        if (!text.empty()) field = static_cast<std::int32_t>(whole(name, text, low, high));
    };
    const auto set_real = [](std::optional<double>& field, const char* name, const std::string& text, double low) {
        if (!text.empty()) field = real(name, text, low);
    };
    set_whole(settings.animals, "--animals", raw.animals, 0, world_file_max_animals);
    set_whole(settings.plants, "--plants", raw.plants, 0, world_file_max_plants);
    set_whole(settings.layer_count, "--layer-count", raw.layer_count, 1, world_file_max_layer_count);
    set_whole(settings.layer_width, "--layer-width", raw.layer_width, 0, world_file_max_layer_width);
    set_whole(settings.generation_length, "--generation-length", raw.generation_length, 1,
              std::numeric_limits<std::int32_t>::max());
    set_real(settings.width, "--width", raw.width, world_file_min_size);
    set_real(settings.height, "--height", raw.height, world_file_min_size);
    set_real(settings.mutate_amount, "--mutate-amount", raw.mutate_amount, -std::numeric_limits<double>::infinity());
    set_real(settings.animal_size, "--animal-size", raw.animal_size, world_file_min_size);
    set_real(settings.plant_size, "--plant-size", raw.plant_size, world_file_min_size);
    set_whole(settings.line_horizon, "--line-horizon", raw.line_horizon, 0, 1000000);
}

}  // namespace

// The rules that join several settings, on the values a reset would use.
std::string settings_problem(const world_settings_type& s)
{
    try {
        check_world(s);
    } catch (const bad_option& problem) {
        return problem.reason;
    }
    return {};
}

namespace {

void check_world(const world_settings_type& s)
{
    const double width = s.width.value_or(10.0), height = s.height.value_or(10.0);
    const double room = std::min(width, height);
    if (s.animal_size.value_or(0.5) > room)
        throw bad_option{"--animal-size " + std::to_string(s.animal_size.value_or(0.5)) +
                         ": must not exceed the world's width and height"};
    if (s.plant_size.value_or(0.25) > room)
        throw bad_option{"--plant-size " + std::to_string(s.plant_size.value_or(0.25)) +
                         ": must not exceed the world's width and height"};
    const std::string networks = world_file_network_problem(s.animals.value_or(20), s.layer_width.value_or(8), s.layer_count.value_or(2));
    if (!networks.empty()) throw bad_option{"--animals " + std::to_string(s.animals.value_or(20)) + ": " + networks};
}

}  // namespace

std::string options_parse(int argc, const char* const* argv, options_type& options)
{
    options = options_type{};
    CLI::App app{"Velmora: animals with neural networks of their own evolve in a flat world.\n"
                 "Without --headless the window program starts, with the world FILE.dat if one is given.",
                 "velmora"};
    app.set_version_flag("--version", std::string("velmora ") + VELMORA_VERSION);
    app.set_config("--config", "", "Read world settings and outputs from an INI or TOML file; the command line wins")->type_name("FILE");
    std::string seed, generations, threads, checkpoint_every, record_every, record_size, record_fps;
    raw_settings_type raw;
    app.add_option("--seed", seed, "Seed of the random source: 0 to 4294967295 (default: the time of day in seconds)")->type_name("S");
    app.add_flag("--headless", options.headless, "Run without a window until --generations have ended");
    app.add_option("--generations", generations, "Headless: run until generation N, counted from the world's generation 0: 0 to 4294967295")->type_name("N");
    app.add_option("--load", options.load_path, "World file loaded before a headless run")->type_name("FILE");
    app.add_option("--save", options.save_path, "World file written when a headless run ends")->type_name("FILE");
    app.add_option("--animals", raw.animals, "Animals a reset makes: 0 to 50000 (default 20)")->type_name("N");
    app.add_option("--plants", raw.plants, "Plants a reset makes: 0 to 1000000 (default 10)")->type_name("N");
    app.add_option("--width", raw.width, "World width in world units: at least 0.000001 (default 10)")->type_name("X");
    app.add_option("--height", raw.height, "World height in world units: at least 0.000001 (default 10)")->type_name("X");
    app.add_option("--layer-count", raw.layer_count, "Neuron layers before the motor neurons: 1 to 1000 (default 2)")->type_name("N");
    app.add_option("--layer-width", raw.layer_width, "Neurons per layer: 0 to 1000 (default 8)")->type_name("N");
    app.add_option("--generation-length", raw.generation_length,
                   "World updates per generation: 1 to 2147483647 (default 500)")->type_name("N");
    app.add_option("--mutate-amount", raw.mutate_amount, "Half-width of a mutation's uniform noise (default 5)")->type_name("X");
    app.add_option("--animal-size", raw.animal_size,
                   "Animal diameter in world units: 0.000001 up to the world's width and height (default 0.5)")->type_name("X");
    app.add_option("--plant-size", raw.plant_size,
                   "Plant diameter in world units: 0.000001 up to the world's width and height (default 0.25)")->type_name("X");
    app.add_flag("--wrap", options.settings.wrap, "Edges wrap around from the start (default: they block)");
    app.add_option("--line-horizon", raw.line_horizon,
                   "Generations between counts of lines for the Lineages page: at each count every animal alive begins a "
                   "line of its own; 0 keeps the founders' lines (default 50)")->type_name("N");
    app.add_option("--log", options.log_path, "Log file that every generation's line is appended to (default log.txt)")->type_name("FILE");
    app.add_flag("--no-log", options.no_log, "Write no log file");
    app.add_option("--csv", options.csv_path, "Headless: write one CSV row per generation to this file")->type_name("FILE");
    app.add_flag("--quiet", options.quiet, "Headless: nothing on standard output; errors still go to standard error");
    app.add_option("--lineage", options.lineage_path,
                   "Write the family tree to this CSV file (id,ancestor_list,origin_time,destruction_time; times in generations)")->type_name("FILE");
    app.add_option("--checkpoint", options.checkpoint_path,
                   "Headless: write the world's whole state to this .npz file every --checkpoint-every generations, "
                   "on SIGUSR1, and when the run ends or is stopped")->type_name("FILE");
    app.add_option("--checkpoint-every", checkpoint_every, "Generations between checkpoints: 1 to 4294967295 (default 10)")->type_name("N");
    app.add_option("--resume", options.resume_path,
                   "Headless: go on from this checkpoint, exactly as if the run had never stopped; "
                   "--generations still counts from generation 0")->type_name("FILE");
    app.add_option("--run", options.run_path,
                   "Headless: replay this run file (seed, settings, starting file and changes), exactly as it ran")->type_name("FILE.toml");
    app.add_option("--save-run", options.save_run_path,
                   "Headless: write the run file of this run when it ends, to replay it with --run")->type_name("FILE.toml");
    app.add_option("--food-map", options.food_map_path,
                   "Plants grow where this greyscale PNG (stretched over the world, as the window shows it) is bright, "
                   "never where it is black; a .npy file of float64 weights does too")->type_name("FILE.png");
    app.add_flag("--no-autosave", options.no_autosave, "Window: keep no autosave of the world");
    app.add_option("--threads", threads,
                   "Threads a world update may use: 1 to 64 (default: the processors free to the program, at most 64). "
                   "Worlds of 200 animals or more share each update's vision between them; the run is the same however many")->type_name("N");
    app.add_option("--record", options.record_path,
                   "Record the world view as a video; the extension chooses the format: .mp4 (H.264), .webm (VP9), .gif")->type_name("FILE");
    app.add_option("--record-every", record_every,
                   "World updates between video frames: 1 to 4294967295 (default 10 headless; the window records each frame it draws)")->type_name("N");
    app.add_option("--record-size", record_size, "Video frame size in pixels, each 16 to 4096 (default 640x480)")->type_name("WxH");
    app.add_option("--record-fps", record_fps, "Video frames per second of playback: 1 to 240 (default 30)")->type_name("F");
    app.add_option("world", options.world_path, "World file the window program opens at start")->type_name("FILE.dat");
    CLI::App* summarize = app.add_subcommand("summarize", "Per-generation mean, deviation, minimum and maximum of runs' CSVs");
    summarize->add_option("runs", options.summary_inputs, "CSV files written by --csv")->type_name("RUN.csv");
    summarize->add_option("--muller", options.summary_muller,
                          "Draw the founder lines of this --lineage file as a Muller plot into --plot, instead of summarising runs")->type_name("FILE");
    summarize->add_option("--line-horizon", options.summary_line_horizon,
                          "With --muller: generations between counts of lines, as the run counted them (default 50; 0: founders' lines)")
        ->type_name("N")->check(CLI::Range(0, 1000000));
    summarize->add_option("--out", options.summary_out, "Write the summary here (default: standard output)")->type_name("FILE");
    summarize->add_option("--plot", options.summary_plot, "Draw the summary as a PNG chart")->type_name("FILE");

    try {
        app.parse(argc, argv);
        options.summarize = summarize->parsed();
        if (options.summarize && options.summary_muller.empty() && options.summary_inputs.empty())
            throw bad_option{"summarize needs the runs' CSV files (RUN.csv...), or --muller LINEAGE.csv"};
        if (options.summarize && !options.summary_muller.empty() &&
            (options.summary_plot.empty() || !options.summary_inputs.empty() || !options.summary_out.empty()))
            throw bad_option{"summarize --muller LINEAGE.csv draws one picture: give --plot FILE.png and no runs"};
        if (!seed.empty()) {
            options.seed = static_cast<std::uint32_t>(whole("--seed", seed, 0, std::numeric_limits<std::uint32_t>::max()));
            options.seed_given = true;
        }
        if (!generations.empty()) {
            options.generations =
                static_cast<std::uint32_t>(whole("--generations", generations, 0, std::numeric_limits<std::uint32_t>::max()));
            options.generations_given = true;
        }
        if (!checkpoint_every.empty())
            options.checkpoint_every = static_cast<std::uint32_t>(
                whole("--checkpoint-every", checkpoint_every, 1, std::numeric_limits<std::uint32_t>::max()));
        if (!threads.empty()) options.threads = static_cast<int>(whole("--threads", threads, 1, world_max_threads));
        convert_settings(raw, options.settings);
        if (!record_every.empty())
            options.record_every = static_cast<std::uint32_t>(whole("--record-every", record_every, 1, std::numeric_limits<std::uint32_t>::max()));
        if (!record_fps.empty()) options.record_fps = static_cast<int>(whole("--record-fps", record_fps, 1, 240));
        if (!record_size.empty()) {
            const std::size_t x = record_size.find_first_of("xX");
            const auto side = [&record_size](const std::string& text) {
                try {
                    return static_cast<int>(whole("--record-size", text, 16, 4096));
                } catch (const bad_option&) {
                    throw bad_option{"--record-size " + record_size + ": must be WxH, each a whole number from 16 to 4096"};
                }
            };
            if (x == std::string::npos) side("");
            options.record_width = side(record_size.substr(0, x));
            options.record_height = side(record_size.substr(x + 1));
        }
        if (options.record_path.empty() && (!record_every.empty() || !record_size.empty() || !record_fps.empty()))
            throw bad_option{"--record-every, --record-size and --record-fps need --record FILE"};
        if (!options.record_path.empty()) {
            if (const std::string problem = video_format_problem(options.record_path); !problem.empty())
                throw bad_option{"--record " + options.record_path + ": " + problem};
            if (options.headless && options.record_every == 0) options.record_every = 10;
        }
        if (options.headless && !options.generations_given) throw bad_option{"--headless needs --generations N"};
        if (!options.headless && (options.generations_given || !options.load_path.empty() || !options.save_path.empty() ||
                                  !options.csv_path.empty() || options.quiet || !options.checkpoint_path.empty() ||
                                  !checkpoint_every.empty() || !options.resume_path.empty() || !options.run_path.empty() ||
                                  !options.save_run_path.empty()))
            throw bad_option{"--generations, --load, --save, --csv, --quiet, --checkpoint, --checkpoint-every, --resume, --run "
                             "and --save-run work only with --headless"};
        if (options.headless && options.no_autosave) throw bad_option{"--no-autosave works only in the window"};
        if (!checkpoint_every.empty() && options.checkpoint_path.empty())
            throw bad_option{"--checkpoint-every needs --checkpoint FILE"};
        if (!options.resume_path.empty() && !options.load_path.empty())
            throw bad_option{"--resume and --load both give the world; choose one"};
        if (!options.run_path.empty() && (!options.resume_path.empty() || !options.load_path.empty() || options.seed_given ||
                                          options.settings.any() || options.settings.wrap || !options.food_map_path.empty()))
            throw bad_option{"--run gives the seed, the settings, the food map and the starting file; give none of them besides"};
        if (!options.food_map_path.empty() && !options.resume_path.empty())
            throw bad_option{"--resume goes on with the checkpoint's own food map: give no --food-map with it"};
        if (options.headless && !options.world_path.empty())
            throw bad_option{"a headless run takes its world with --load, not as " + options.world_path};
        for (const char* name : {"--load", "--save", "--log", "--csv", "--checkpoint", "--resume", "--lineage", "--record", "--run",
                                 "--save-run", "--food-map"})
            if (app.count(name) > 0 && app.get_option(name)->as<std::string>().empty())
                throw bad_option{std::string(name) + " needs a file name"};
        const bool loading = !options.load_path.empty() || !options.world_path.empty();
        if (loading && (options.settings.layer_count || options.settings.layer_width))
            throw bad_option{"--layer-count and --layer-width would change the shape of the loaded networks"};
        if (!loading) check_world(options.settings);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        options.help_text = app.help();
    } catch (const CLI::CallForVersion&) {
        options.version = true;
    } catch (const CLI::ParseError& error) {
        return error.what();
    } catch (const bad_option& error) {
        return error.reason;
    }
    return {};
}

world_file_overrides_type settings_overrides(const world_settings_type& s)
{
    return world_file_overrides_type{s.width,  s.height,     s.mutate_amount, s.generation_length,
                                     s.plants, s.plant_size, s.animals,       s.animal_size};
}

void settings_apply(world_type& world, const world_settings_type& s)
{
    if (s.any()) {
        world.start_animals = s.animals.value_or(world.start_animals);
        world.start_plants = s.plants.value_or(world.start_plants);
        world.width = s.width.value_or(world.width);
        world.height = s.height.value_or(world.height);
        world.layer_count = s.layer_count.value_or(world.layer_count);
        world.layer_width = s.layer_width.value_or(world.layer_width);
        world.generation_length = s.generation_length.value_or(world.generation_length);
        world.mutate_amount = s.mutate_amount.value_or(world.mutate_amount);
        world.animal_size = s.animal_size.value_or(world.animal_size);
        world.plant_size = s.plant_size.value_or(world.plant_size);
        world_reset(world);
    }
    if (s.wrap) world.wrap_edges = true;
    if (s.line_horizon) world.line_horizon = *s.line_horizon;
}
