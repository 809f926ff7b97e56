// Start-up configuration: its sources in order, the environment and the application mode; the resource
// container that packs the configuration; the settings store and the two key-value grammars it is filled
// from.
#include "framework/config/StaticConfiguration.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <map>

#include "framework/config/Modes.h"
#include "framework/config/RccContainer.h"
#include "framework/config/ResourceManager.h"
#include "support/Capture.h"

namespace kvx::apps {
namespace {

using config::ConfigSystem;
using config::Store;
using domain::model::Environment;
using Asserted = test::Reports;
using Logged = test::LoggedLines;

const std::string kDev = "T:\\dev\\";

// One program start: developer files in memory (reads recorded), the packed configuration in layers.
class StaticConfiguration : public ::testing::Test {
protected:
    StaticConfiguration() {
        mPlatform.developerFolder = kDev;
        mPlatform.readFile = [this](const std::string& path) -> Result<std::string, std::string> {
            mReads.push_back(path);
            if (mFiles.count(path) == 0) {
                return Err{std::string("no such file")};
            }
            return Ok{mFiles[path]};
        };
        mPlatform.fileExists = [this](const std::string& path) { return mFiles.count(path) != 0; };
        const auto packed = resources::buildRcc({
            {"config/tamrin.cfg",
             "[layer]\na = tamrin\nb = tamrin\nc = tamrin\nd = tamrin\n[app]\nenvironment = dev"},
            {"config/KorvDestager.cfg", "layer.b = app\nlayer.c = app\nlayer.d = app\n"},
            {"config/platform/win.cfg", "layer.c = win\nlayer.d = win\n"},
            {"config/env/dev.cfg", "layer.d = dev\nlayer.f = dev\n"},
            {"config/env/production.cfg", "layer.f = production\n"},
        });
        EXPECT_TRUE(mResources.addRccData(packed).isOk());
    }
    void process(const StaticConfigParams& params) {
        processStaticConfiguration(mConfig, mResources, mPlatform, mEnvironment, params);
    }

    std::map<std::string, std::string> mFiles;
    std::vector<std::string> mReads;
    resources::ResourceManager mResources;
    ConfigPlatform mPlatform;
    ConfigSystem mConfig;
    domain::model::EnvironmentState mEnvironment;
};

TEST_F(StaticConfiguration, LaterSourcesWinAndOverridesWinOverEverything) {
    mFiles[kDev + "launcher_main.cfg"] =
        "layer.a = launcher\nlayer.d = launcher\napp.multipleInstances = 1\n";
    mFiles[kDev + "override.cfg"] = "layer.b = override\nuser.profile = bob\n";
    mFiles[kDev + "override-bob.cfg"] = "layer.e = profile\n";
    mPlatform.loadMachineSettings = [&] {
        mConfig.set(Store::Ordinary, "machine.kept", "1", config::kScopeMachine);
    };
    const auto modeHook = [](ConfigSystem& c) {
        c.set(Store::Ordinary, "layer.g", c.getString("app.mode", ""), config::kScopeStatic);
    };
    process({"KorvDestager", true,
             [](ConfigSystem& c) { c.set(Store::Ordinary, "layer.a", "hook", config::kScopeStatic); },
             modeHook});
    // The developer file is applied again after the environment, so it wins over "dev" for layer.d.
    const std::map<std::string, std::string> expected{
        {"layer.a", "launcher"}, {"layer.b", "override"}, {"layer.c", "win"},    {"layer.d", "launcher"},
        {"layer.e", "profile"},  {"layer.f", "dev"},      {"layer.g", "normal"}, {"machine.kept", "1"}};
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(mConfig.getString(key, ""), value) << key;
    }
    EXPECT_EQ(mEnvironment.text, std::optional<std::string>("dev"));
    EXPECT_EQ(mEnvironment.value, Environment::Dev);
    mConfig.clearOverrides();
    EXPECT_EQ(mConfig.getString("layer.b", ""), "app");
}

// The destager shows no error box (only the client does); a profile needs multiple instances.
TEST_F(StaticConfiguration, UnknownEnvironmentFallsBackToProductionOncePerOverrideLoad) {
    test::ScopedCapturingLogger logger;
    mPlatform.executableName = [] { return std::string("KorvDestager.exe"); };
    mPlatform.showErrorBox = [](const std::string& text, const std::string&) { ADD_FAILURE() << text; };
    mFiles[kDev + "override.cfg"] = "app.environment = typo\nuser.profile = alice\n";
    mFiles[kDev + "override-alice.cfg"] = "from.profile = yes\n";
    process({"KorvDestager", true});
    // The third load finds the model's environment, which beats the file's.
    EXPECT_EQ(logger->linesContaining("Unknown environment ["),
              Logged(2, {services::logging::Error, "kvx::apps::AppConfigUtil::loadOverrideConfigs",
                         "Unknown environment [typo] in configuration, using production.\n\nTo switch to a "
                         "different environment, update your configuration file, then restart the app "
                         "and the background service."}));
    EXPECT_EQ(mConfig.getString("layer.f", ""), "production");
    EXPECT_EQ(mEnvironment.value, Environment::Production);
    EXPECT_FALSE(mConfig.contains("from.profile"));
    // Missing developer files are reported at INFO with the file's name.
    const std::string missing = "Unable to open file: [T:\\dev\\launcher_main.cfg] ! no such file";
    EXPECT_EQ(logger->linesContaining(missing),
              Logged(2, {services::logging::Info, "kvx::apps::processStaticConfiguration", missing}));
}

TEST_F(StaticConfiguration, ModeFromLunaMarkerQaSwitchesAndTheMachine) {
    // The luna file's text (empty: no file), the QA switch set to "1", the machine's Flint key, the mode.
    const std::tuple<const char*, std::string, const char*, bool, const char*> cases[] = {
        {"nothing", "", "qa.none", false, "normal"},
        {"marker", lunaMarker(), "qa.none", false, "luna"},
        {"marker plus newline", lunaMarker() + "\n", "qa.none", false, "normal"},
        {"forced luna", "", "qa.forceLunaMode", false, "luna"},
        {"forced flint", "", "qa.forceFlintMode", false, "flint"},
        {"registry flint", "", "qa.none", true, "flint"},
        {"both: asserted, luna wins", lunaMarker(), "qa.none", true, "luna"},
    };
    for (const auto& [name, lunaFile, qaSwitch, flintKey, mode] : cases) {
        SCOPED_TRACE(name);
        test::ScopedAssertCapture asserts;
        mFiles.clear();
        if (!lunaFile.empty()) {
            mFiles[kDev + ".luna"] = lunaFile;
        }
        mPlatform.flintModeRequestedByMachine = [flintKey] { return flintKey; };
        ConfigSystem config;
        config.set(Store::Ordinary, qaSwitch, "1", config::kScopeStatic);
        AppConfigUtil(config, mResources, mPlatform, mEnvironment).checkAndSetMode();
        EXPECT_EQ(config.getString("app.mode", ""), mode);
        const Asserted both{{"!(isLunaMode && isFlintMode)", "Both mode should not be true"}};
        EXPECT_EQ(asserts.conditionsAndMessages(), !lunaFile.empty() && flintKey ? both : Asserted{});
    }
}

TEST(ModelValues, AnUnsetModeIsWarnedAndAnUnknownEnvironmentAsserted) {
    test::ScopedCapturingLogger logger;
    test::ScopedAssertCapture asserts;
    ConfigSystem config;
    EXPECT_EQ(services::settings::getMode(config), "");
    services::settings::setFlintMode(config);
    EXPECT_EQ(services::settings::getMode(config), "flint");
    EXPECT_EQ(
        logger->lines(),
        (Logged{{services::logging::Warn, "kvx::services::settings::getMode", "Mode accessed before set"},
                {services::logging::Info, "kvx::services::settings::(anonymous namespace)::setMode",
                 "Setting mode to: [flint]"}}));
    // Unknown environment texts and values are asserted and read as production.
    EXPECT_EQ(domain::model::parseEnvironment(""), Environment::Production);
    EXPECT_EQ(domain::model::parseEnvironment("load"), Environment::Load);
    EXPECT_TRUE(asserts.asserts().empty());
    EXPECT_EQ(domain::model::parseEnvironment("Dev"), Environment::Production);
    EXPECT_EQ(domain::model::toString(static_cast<Environment>(9)), "production");
    EXPECT_EQ(asserts.conditionsAndMessages(),
              (Asserted{{"kUnconditionalAssert", "Unknown environment value [Dev]"},
                        {"kUnconditionalAssert", "Invalid Environment value [9]"}}));
}

// Developer files count where the developer certificate is trusted and "override.off" is absent.
TEST_F(StaticConfiguration, ConfigurableDecidedOnceFromCertificateAndOptOutElseNoDeveloperFileIsRead) {
    bool trusted = true;
    mPlatform.developerCertificateTrusted = [&] { return trusted; };
    ConfigurableFlag flag;
    EXPECT_TRUE(flag.decide(mPlatform));
    trusted = false;
    EXPECT_TRUE(flag.decide(mPlatform));
    EXPECT_FALSE(ConfigurableFlag().decide(mPlatform));
    trusted = true;
    mFiles[kDev + "override.off"] = "";
    EXPECT_FALSE(ConfigurableFlag().decide(mPlatform));
    EXPECT_FALSE(ConfigurableFlag().decide(ConfigPlatform{}));  // nothing known about the machine
    mFiles[kDev + "launcher_main.cfg"] = "layer.a = launcher\n";
    process({"KorvDestager", false});
    EXPECT_EQ(mConfig.getString("layer.a", ""), "tamrin");
    EXPECT_EQ(mReads, std::vector<std::string>{kDev + ".luna"});  // the mode check only
}

using namespace resources;
using Bytes = std::vector<uint8_t>;

Bytes sample() {
    return buildRcc(
        {{"config/tamrin.cfg", "a=1\n"}, {"config/env/dev.cfg", ""}, {"certs/x.bin", {"\0\xff", 2}}});
}

// Rewrites the trailing CRC so a test reaches the checks behind it.
Bytes withFixedCrc(Bytes bytes) {
    const uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size() - 4)));
    for (int i = 0; i < 4; ++i) {
        bytes[bytes.size() - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    return bytes;
}

Bytes patched(size_t at, uint8_t xorMask) {
    Bytes bytes = sample();
    bytes[at] ^= xorMask;
    return bytes;
}

std::string parseError(const Bytes& bytes) {
    auto parsed = parseRcc(bytes);
    return parsed.isError() ? parsed.unwrapError() : std::string("accepted");
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RccContainer, DamageIsRejected) {
    const Bytes whole = sample();
    Bytes trailing = whole;
    trailing.insert(trailing.end() - 4, 0);
    auto damaged = encipherRcc(sample(), 7);
    damaged[30] ^= 0x80;
    const std::pair<Bytes, std::string> rows[] = {
        {patched(20, 0x01), "checksum mismatch, the file is damaged"},
        {decipherRcc(damaged).unwrap(),
         "checksum mismatch, the file is damaged"},  // the cipher checks nothing
        {withFixedCrc(patched(0, 0x01)), "not a resource container"},
        {Bytes(whole.begin(), whole.begin() + 15), "not a resource container"},
        {withFixedCrc(patched(4, 0x03)), "unsupported version [2]"},
        {withFixedCrc(patched(11, 0x7f)), "entry count [2130706435] exceeds the file"},
        {withFixedCrc(patched(13, 0x40)), "entry [0] runs past the end"},  // the first path's length
        {withFixedCrc(trailing), "[1] unexpected bytes after the last entry"},
        {buildRcc({{"a", "1"}, {"a", "2"}}), "[a] appears twice"},
        {buildRcc({{"a", "1"}, {"a/b", "2"}}), "[a] is both a file and a folder"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(parseError(bytes), "Resource container: " + text);
    }
    for (const char* bad : {"", "/a", "a/", "a//b", "a/../b", "./a"}) {
        EXPECT_EQ(parseError(buildRcc({{bad, "1"}})), "Resource container: entry [0] has an invalid path")
            << bad;
    }

    auto cipherVersion = encipherRcc(sample(), 1);
    cipherVersion[4] = 9;
    EXPECT_EQ(decipherRcc(cipherVersion).unwrapError(), "Resource container: unsupported cipher version [9]");
    EXPECT_EQ(decipherRcc(sample()).unwrapError(),
              "Resource container: not an enciphered resource container");
}

TEST(RccContainer, TheBuildsPackedFileMatchesTheConfigFolder) {
    const std::string packed = readFile(KVX_TEST_RCC_FILE);
    ResourceManager resources;
    ASSERT_TRUE(resources.addRccData(decipherRcc(Bytes(packed.begin(), packed.end())).unwrap()).isOk());
    for (const char* name : {"tamrin.cfg", "KorvDestager.cfg", "platform/win.cfg", "env/production.cfg",
                             "env/preview.cfg", "env/integration.cfg", "env/dev.cfg", "env/load.cfg"}) {
        EXPECT_EQ(resources.lookup(std::string(":/config/") + name).unwrap(),
                  readFile(std::string(KVX_TEST_CONFIG_DIR) + "/" + name));
    }
    EXPECT_FALSE(resources.exists(":/certs/ca.crt"));  // no developer certificates are shipped
}

// The sample goes through the cipher with the seed that zeroes its state.
TEST(ResourceManager, LookupsAndErrorTexts) {
    ResourceManager resources;
    ASSERT_TRUE(resources.addRccData(decipherRcc(encipherRcc(sample(), 0x4B56584B)).unwrap()).isOk());
    EXPECT_EQ(resources.lookup(":/config/tamrin.cfg").unwrap(), "a=1\n");
    EXPECT_EQ(resources.lookup(":/config/env/dev.cfg").unwrap(), "");
    EXPECT_EQ(resources.lookup(":/certs/x.bin").unwrap(), std::string("\0\xff", 2));
    for (const char* missing : {":/config/missing.cfg", "config/tamrin.cfg", ":/conf"}) {
        EXPECT_EQ(resources.lookup(missing).unwrapError(), std::string("Resource ") + missing + " not found");
    }
    for (const char* folder : {":/config/env", ":/config/", ":/"}) {
        EXPECT_EQ(resources.lookup(folder).unwrapError(),
                  std::string("Requested node[") + folder + "] is a directory");
    }
    // A damaged container adds nothing; a later good one replaces what an earlier one held.
    EXPECT_TRUE(resources.addRccData(patched(14, 0x01)).isError());
    EXPECT_EQ(resources.lookup(":/config/tamrin.cfg").unwrap(), "a=1\n");
    ASSERT_TRUE(resources.addRccData(buildRcc({{"config/tamrin.cfg", "b=2\n"}})).isOk());
    EXPECT_EQ(resources.lookup(":/config/tamrin.cfg").unwrap(), "b=2\n");
}

using namespace config;

// "key=value|" for each pair, sorted by key.
std::string sortedPairs(const KVPs& kvps) {
    std::string text;
    for (const auto& [key, value] : std::map<std::string, std::string>(kvps.begin(), kvps.end())) {
        text += key + "=" + value + "|";
    }
    return text;
}

// Numbers are the leading decimal digits, 0 when there are none or they overflow; a boolean is false
// only for "0" and "false"; a missing key (and, for a boolean, an empty value) reads as the default.
TEST(ConfigStore, ReadsCaseInsensitiveKeysAndScopes) {
    constexpr int kDefault = -1;
    // Text (nullptr: unset), boolean (kDefault: either default), numbers read with defaults 77 and 1.
    const std::tuple<const char*, int, uint32_t, uint64_t> rows[] = {
        {nullptr, kDefault, 77, 1},
        {"", kDefault, 0, 0},
        {"0", false, 0, 0},
        {"false", false, 0, 0},
        {"FALSE", true, 0, 0},
        {"12abc", true, 12, 12},
        {"4294967296", true, 0, 4294967296ull},
        {"18446744073709551615x", true, 0, 18446744073709551615ull},
        {"18446744073709551616", true, 0, 0}};
    for (const auto& [text, asBool, as32, as64] : rows) {
        SCOPED_TRACE(text ? text : "<unset>");
        ConfigSystem config;
        if (text) {
            config.set(Store::Ordinary, "n", text, kScopeStatic);
        }
        EXPECT_EQ(config.getBool("n", true), asBool == kDefault || asBool);
        EXPECT_EQ(config.getBool("n", false), asBool != kDefault && asBool);
        EXPECT_EQ(config.getUInt32("n", 77), as32);
        EXPECT_EQ(config.getUInt64("n", 1), as64);
        EXPECT_EQ(config.getString("n", "default"), text ? text : "default");
    }
    ConfigSystem config;
    // Keys in any case are one setting; the scope filter gives effective values of keys a store holds.
    config.set(Store::Ordinary, "Machine.A", "a", kScopeMachine);
    config.set(Store::Ordinary, "app.x", "3", kScopeStatic);
    config.set(Store::Override, "MACHINE.a", "override", kScopeStatic);
    config.set(Store::Override, "machine.only", "x", kScopeMachine);
    EXPECT_TRUE(config.contains("mAcHiNe.a"));
    EXPECT_EQ(sortedPairs(config.filterByScope(kScopeMachine)), "machine.a=override|machine.only=x|");
    config.clearOverrides();
    EXPECT_EQ(sortedPairs(config.filterByScope(kScopeMachine)), "machine.a=a|");
}

TEST(KVPsToml, SectionsQuotesBooleansBlanksAndUnparseableLines) {
    test::ScopedCapturingLogger logger;
    KVPs kvps;
    // A quoted boolean stays text; only a leading quote starts quote removal.
    kvps.addFromTomlString(
        "top = true \r\n'quoted' = \"two words\"\n  # comment = 1\nno equals here\n[app]\noff=false\n"
        "text='true'\nopen = 'unbalanced\nclose = trailing'\n\t spaced =\t in  side \t\n"
        "url = a=b # not a comment\n[\"qa\"]\nx = 2\n['deep.er']\ny=3\n");
    EXPECT_EQ(sortedPairs(kvps),
              "app.close=trailing'|app.off=0|app.open=unbalanced|app.spaced=in  side|app.text=true|"
              "app.url=a=b # not a comment|deep.er.y=3|qa.x=2|quoted=two words|top=1|");
    EXPECT_EQ(logger->lines(), (Logged{{services::logging::Error, "kvx::KVPs::addFromTomlString",
                                        "Could not parse [no equals here] from cfg"}}));
    // An empty value leaves the earlier one; a later value replaces it.
    kvps.addFromTomlString("top =   \ntop=\nqa.x = 3");
    EXPECT_EQ(*kvps.find("top"), "1");
    EXPECT_EQ(*kvps.find("qa.x"), "3");
}

// machine.ini lines: "=" and line feeds, "#" and the line's first "//" open comments, later wins.
TEST(KVPsIni, CommentRulesIncludingTheFirstSlashAndOneCharacterSeparators) {
    test::ScopedAssertCapture asserts;
    KVPs kvps;
    kvps.addFromString("a==1", "==", "\n", true);
    kvps.addFromString("a=1\r\n", "=", "\r\n", true);
    EXPECT_TRUE(kvps.empty());
    EXPECT_EQ(
        asserts.conditionsAndMessages(),
        (Asserted{{"kSeparatorLength == kvJoint.length()", "Length of key value pair joint should be 1!"},
                  {"kSeparatorLength == pairsJoint.length()", "Length of pairs joint should be 1!"}}));
    kvps.addFromString(
        "machine.a = 1 # trailing\n# machine.hidden=1\n// machine.gone=2\nmachine.url=a:x//y\n"
        "machine.path=c:/dir//file\nmachine.hash=x#y//z\n  machine.blank  =  in side  \r\nmachine.eq=a=b\n"
        "machine.eq=c=d\nbare key\n=novalue\n/single=1\n",
        "=", "\n", true);
    EXPECT_EQ(sortedPairs(kvps),
              "bare key=|machine.a=1|machine.blank=in side|machine.eq=c=d|machine.hash=x|"
              "machine.path=c:/dir//file|machine.url=a:x|");
}

}  // namespace
}  // namespace kvx::apps
