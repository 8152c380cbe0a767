#include "cli/options.h"

#include "world/world.h"
#include "world/world_file.h"
#include "video/video.h"

#include <csignal>
#include <cstdio>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

const char* const options_usage =
    "Usage: velmora [OPTIONS] [FILE.dat]\n"
    "       velmora --headless --generations N [OPTIONS]\n"
    "       velmora summarize RUN.csv... [--out FILE.csv] [--plot FILE.png]\n"
    "       velmora summarize --muller LINEAGE.csv --plot FILE.png\n"
    "Run 'velmora --help' for every option.\n";

namespace {

[[noreturn]] void refuse(const std::string& reason) { throw refusal_error{refusal_type(reason)}; }

// A whole decimal number in [low, high], nothing else around it.
std::int64_t whole(const std::string& name, const std::string& text, std::int64_t low, std::int64_t high)
{
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || value < low || value > high)
        refuse(name + " " + text + ": must be a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    return value;
}

}  // namespace

std::string option_name(const setting_row_type& row) { return std::string("--") + row.name; }

std::string options_parse(int argc, const char* const* argv, options_type& options)
{
    options = options_type{};
    CLI::App app{"Velmora: animals with neural networks of their own evolve in a flat world.\n"
                 "Without --headless the window program starts, with the world FILE.dat if one is given.",
                 "velmora"};
    app.set_version_flag("--version", std::string("velmora ") + VELMORA_VERSION);
    app.set_config("--config", "", "Read world settings and outputs from an INI or TOML file; the command line wins")->type_name("FILE");
    std::string seed, generations, threads, checkpoint_every, record_every, record_size, record_fps;
    // Each setting of the table, as text to be checked by its row (a flag as on or off).
    std::array<std::string, setting_count> setting_texts;
    std::array<bool, setting_count> setting_flags{};
    app.add_option("--seed", seed, "Seed of the random source: 0 to 4294967295 (default: the time of day in seconds)")->type_name("S");
    app.add_flag("--headless", options.headless, "Run without a window until --generations have ended");
    app.add_option("--generations", generations, "Headless: run until generation N, counted from the world's generation 0: 0 to 4294967295")->type_name("N");
    app.add_option("--load", options.load_path, "World file loaded before a headless run")->type_name("FILE");
    app.add_option("--save", options.save_path, "World file written when a headless run ends")->type_name("FILE");
    for (const setting_row_type& row : settings_table()) {
        if (row.kind == setting_kind_type::flag) {
            app.add_flag(option_name(row), setting_flags[row.id], setting_help(row));
        } else {
            std::string shown = row.kind == setting_kind_type::whole ? "N" : "X";
            if (row.kind == setting_kind_type::choice) {
                shown.clear();
                for (int k = 0; k < row.choice_count; ++k) shown += (k == 0 ? "" : "|") + std::string(row.choices[k]);
            }
            app.add_option(option_name(row), setting_texts[row.id], setting_help(row))->type_name(shown);
        }
    }
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
            refuse("summarize needs the runs' CSV files (RUN.csv...), or --muller LINEAGE.csv");
        if (options.summarize && !options.summary_muller.empty() &&
            (options.summary_plot.empty() || !options.summary_inputs.empty() || !options.summary_out.empty()))
            refuse("summarize --muller LINEAGE.csv draws one picture: give --plot FILE.png and no runs");
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
        for (const setting_row_type& row : settings_table()) {
            const std::string name = option_name(row);
            if (app.count(name) == 0) continue;
            double value = 0.0;
            const std::string text = row.kind == setting_kind_type::flag ? (setting_flags[row.id] ? "true" : "false") : setting_texts[row.id];
            if (std::string rule = setting_parse(row, text, value); !rule.empty()) refuse(name + " " + text + ": " + rule);
            options.settings[row.id] = value;
        }
        if (!record_every.empty())
            options.record_every = static_cast<std::uint32_t>(whole("--record-every", record_every, 1, std::numeric_limits<std::uint32_t>::max()));
        if (!record_fps.empty()) options.record_fps = static_cast<int>(whole("--record-fps", record_fps, 1, 240));
        if (!record_size.empty()) {
            const std::size_t x = record_size.find_first_of("xX");
            const auto side = [&record_size](const std::string& text) {
                try {
                    return static_cast<int>(whole("--record-size", text, 16, 4096));
                } catch (const refusal_error&) {
                    refuse("--record-size " + record_size + ": must be WxH, each a whole number from 16 to 4096");
                }
            };
            if (x == std::string::npos) side("");
            options.record_width = side(record_size.substr(0, x));
            options.record_height = side(record_size.substr(x + 1));
        }
        if (options.record_path.empty() && (!record_every.empty() || !record_size.empty() || !record_fps.empty()))
            refuse("--record-every, --record-size and --record-fps need --record FILE");
        if (!options.record_path.empty()) {
            if (const std::string problem = video_format_problem(options.record_path); !problem.empty())
                refuse("--record " + options.record_path + ": " + problem);
            if (options.headless && options.record_every == 0) options.record_every = 10;
        }
        if (options.headless && !options.generations_given) refuse("--headless needs --generations N");
        if (!options.headless && (options.generations_given || !options.load_path.empty() || !options.save_path.empty() ||
                                  !options.csv_path.empty() || options.quiet || !options.checkpoint_path.empty() ||
                                  !checkpoint_every.empty() || !options.resume_path.empty() || !options.run_path.empty() ||
                                  !options.save_run_path.empty()))
            refuse("--generations, --load, --save, --csv, --quiet, --checkpoint, --checkpoint-every, --resume, --run "
                             "and --save-run work only with --headless");
        if (options.headless && options.no_autosave) refuse("--no-autosave works only in the window");
        if (!checkpoint_every.empty() && options.checkpoint_path.empty())
            refuse("--checkpoint-every needs --checkpoint FILE");
        if (!options.resume_path.empty() && !options.load_path.empty())
            refuse("--resume and --load both give the world; choose one");
        if (!options.run_path.empty() && (!options.resume_path.empty() || !options.load_path.empty() || options.seed_given ||
                                          options.settings.any() || !options.food_map_path.empty()))
            refuse("--run gives the seed, the settings, the food map and the starting file; give none of them besides");
        if (!options.food_map_path.empty() && !options.resume_path.empty())
            refuse("--resume goes on with the checkpoint's own food map: give no --food-map with it");
        if (options.headless && !options.world_path.empty())
            refuse("a headless run takes its world with --load, not as " + options.world_path);
        for (const char* name : {"--load", "--save", "--log", "--csv", "--checkpoint", "--resume", "--lineage", "--record", "--run",
                                 "--save-run", "--food-map"})
            if (app.count(name) > 0 && app.get_option(name)->as<std::string>().empty())
                refuse(std::string(name) + " needs a file name");
        const bool loading = !options.load_path.empty() || !options.world_path.empty();
        std::string shape;
        bool shape_given = false;
        for (const setting_row_type& row : settings_table())
            if (row.file == setting_file_type::shape) {
                shape += (shape.empty() ? "" : " and ") + option_name(row);
                shape_given = shape_given || options.settings[row.id].has_value();
            }
        if (loading && shape_given) refuse(shape + " would change the shape of the loaded networks");
        if (!loading)
            if (std::string problem = settings_problem(options.settings, option_name); !problem.empty()) refuse(problem);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        options.help_text = app.help();
    } catch (const CLI::CallForVersion&) {
        options.version = true;
    } catch (const CLI::ParseError& error) {
        return error.what();
    } catch (const refusal_error& error) {
        return error.refusal;
    }
    return {};
}

int options_begin(int argc, char** argv, options_type& options)
{
#if defined(SIGPIPE)
    // A closed standard output (velmora ... | head) must not end a run: the
    // console ignores failed writes, and the log still gets every line.
    std::signal(SIGPIPE, SIG_IGN);
    // A file grown past the size limit fails its write, as a full disk does,
    // and is told as one, instead of ending the run.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const std::string error = options_parse(argc, argv, options);
    if (!error.empty()) {
        std::fprintf(stderr, "velmora: %s\n%s", error.c_str(), options_usage);
        return 2;
    }
    if (options.help) {
        std::fputs(options.help_text.c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("velmora %s\n", VELMORA_VERSION);
        return 0;
    }
    return -1;
}
