#include "cli/options.h"

#include <charconv>
#include <limits>
#include <string_view>

const char* const options_usage =
    "Usage: velmora [--seed S]\n"
    "       velmora --headless --generations N [--seed S] [--load FILE] [--save FILE]\n"
    "       velmora --help | --version\n";

namespace {

// A whole decimal number in 0 .. 2^32 - 1, nothing else around it.
bool parse_count(std::string_view text, std::uint32_t& value)
{
    if (text.empty() || text.front() == '-' || text.front() == '+') return false;
    std::uint64_t wide = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), wide);
    if (error != std::errc{} || end != text.data() + text.size()) return false;
    if (wide > std::numeric_limits<std::uint32_t>::max()) return false;
    value = static_cast<std::uint32_t>(wide);
    return true;
}

}  // namespace

std::string options_parse(int argc, const char* const* argv, options_type& options)
{
    options = options_type{};
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view value;
        bool has_value = false;
        if (const auto equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
            has_value = true;
        }
        const bool takes_value = arg == "--seed" || arg == "--generations" || arg == "--load" || arg == "--save";
        if (!takes_value && has_value) return std::string(arg) + " takes no value";
        if (takes_value && !has_value) {
            if (i + 1 >= argc) return std::string(arg) + " needs a value";
            value = argv[++i];
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--seed") {
            if (!parse_count(value, options.seed))
                return "--seed needs a whole number from 0 to 4294967295, not '" + std::string(value) + "'";
            options.seed_given = true;
        } else if (arg == "--generations") {
            if (!parse_count(value, options.generations))
                return "--generations needs a whole number from 0 to 4294967295, not '" + std::string(value) + "'";
            options.generations_given = true;
        } else if (arg == "--load" || arg == "--save") {
            if (value.empty()) return std::string(arg) + " needs a file name";
            (arg == "--load" ? options.load_path : options.save_path) = value;
        } else {
            return "unknown option '" + std::string(arg) + "'";
        }
    }
    if (options.help || options.version) return {};
    if (options.headless && !options.generations_given) return "--headless needs --generations N";
    if (!options.headless && (options.generations_given || !options.load_path.empty() || !options.save_path.empty()))
        return "--generations, --load and --save work only with --headless";
    return {};
}
