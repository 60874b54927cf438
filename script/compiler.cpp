#include "script/compiler.h"

#include "platform/data_path.h"
#include "platform/os.h"
#include "script/compiler_internal.h"
#include "script/script_parser.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace script {

void* CreateScanner(ScriptCompiler* compiler);
void DestroyScanner(void* scanner);
void PushScannerBuffer(void* scanner, bool atLineStart);
void BeginScannerPass(void* scanner, int pass);
int RunGeneratedParser(ScriptCompiler& sc, void* scanner);

namespace {

struct ScannerFatalError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Marker lines carry the name between quotes; pass 2 takes the text up to the
// last quote of the line, so only line breaks need to be kept out of it.
std::string MarkerName(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        if (c == '\n' || c == '\r')
            c = '?';
    return out;
}

} // namespace

[[noreturn]] void ScannerFatal(const char* message)
{
    throw ScannerFatalError(message);
}

std::string FormatMessage(const ScriptMessage& m)
{
    std::string out = m.file;
    out += '(';
    out += std::to_string(m.line);
    out += "): ";
    out += m.severity == Severity::kError ? "error: " : "warning: ";
    out += m.text;
    return out;
}

std::size_t PieceReader::Read(char* buffer, std::size_t max)
{
    std::size_t n = 0;
    while (n < max && piece_ < pieces_.size()) {
        const std::string& p = pieces_[piece_];
        if (offset_ < p.size()) {
            const std::size_t take = std::min(max - n, p.size() - offset_);
            std::memcpy(buffer + n, p.data() + offset_, take);
            n += take;
            offset_ += take;
        } else {
            buffer[n++] = ' ';
            ++piece_;
            offset_ = 0;
        }
    }
    return n;
}

std::size_t TextReader::Read(char* buffer, std::size_t max)
{
    const std::size_t n = std::min(max, text_.size() - textPos_);
    if (n != 0)
        std::memcpy(buffer, text_.data() + textPos_, n);
    textPos_ += n;
    return n;
}

FileSource::FileSource(std::string name, std::string text) : text_(std::move(text))
{
    name_ = std::move(name);
    named_ = true;
}

std::size_t FileSource::Read(char* buffer, std::size_t max)
{
    const std::size_t n = std::min(max, text_.size() - textPos_);
    if (n != 0)
        std::memcpy(buffer, text_.data() + textPos_, n);
    textPos_ += n;
    if (n == 0 && !newlineSent_ && max > 0) {
        // A last line without a line break still ends.
        buffer[0] = '\n';
        newlineSent_ = true;
        return 1;
    }
    return n;
}

ScriptCompiler::ScriptCompiler(const CompileOptions& options, int mode) : mode_(mode), options_(options) {}

ScriptCompiler::~ScriptCompiler()
{
    sources_.clear();
    DestroyScanner(scanner_);
}

void ScriptCompiler::Report(Severity severity, const char* format, va_list args)
{
    char text[2048];
    std::vsnprintf(text, sizeof text, format, args);
    Report(severity, std::string(text));
}

void ScriptCompiler::Report(Severity severity, std::string text)
{
    if (severity == Severity::kError)
        ++errors_;
    else
        ++warnings_;
    ScriptMessage m{severity, file_, line_, std::move(text)};
    if (options_.sink)
        options_.sink(m);
    messages_.push_back(std::move(m));
}

void ScriptCompiler::Error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Report(Severity::kError, format, args);
    va_end(args);
}

void ScriptCompiler::Warning(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Report(Severity::kWarning, format, args);
    va_end(args);
}

void ScriptCompiler::DefaultAssumed(std::string_view name)
{
    std::string text;
    text.reserve(name.size() + 29);
    text += "default value assumed for '";
    text += name;
    text += '\'';
    Report(Severity::kWarning, std::move(text));
}

std::size_t ScriptCompiler::ReadInput(char* buffer, std::size_t max)
{
    return sources_.empty() ? 0 : sources_.back()->Read(buffer, max);
}

void ScriptCompiler::Append(std::string_view piece, bool quoted)
{
    if (!output_)
        return;
    // Each piece is read back with one blank after it.
    outputBytes_ += piece.size() + (quoted ? 2 : 0) + 1;
    if (outputBytes_ > options_.maxOutputBytes) {
        if (!outputLimitReported_)
            Error("preprocessed text too large (more than %llu bytes)",
                  static_cast<unsigned long long>(options_.maxOutputBytes));
        outputLimitReported_ = true;
        return;
    }
    if (quoted)
        output_->push_back('"');
    output_->append(piece);
    if (quoted)
        output_->push_back('"');
    output_->push_back(' ');
}

void ScriptCompiler::NewLine()
{
    if (pass_ == 1)
        Append("\n");
    ++line_;
}

const char* ScriptCompiler::Intern(std::string_view text)
{
    if (textLeft_ <= text.size()) {
        constexpr std::size_t kBlock = 64 * 1024;
        const std::size_t size = std::max(kBlock, text.size() + 1);
        textBlocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        textFree_ = textBlocks_.back().get();
        textLeft_ = size;
    }
    char* at = textFree_;
    if (!text.empty())
        std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
    textFree_ += text.size() + 1;
    textLeft_ -= text.size() + 1;
    return at;
}

void ScriptCompiler::PushSource(std::unique_ptr<InputSource> source)
{
    if (const std::string* name = source->Name()) {
        saved_.push_back(SavedPosition{file_, line_, conditionals_.size()});
        line_ = 1;
        file_ = *name;
        if (pass_ == 1)
            Append("\n# line 1 \"" + MarkerName(file_) + "\"\n");
    }
    if (source->IsMacro())
        ++macroDepth_;
    const bool atLineStart = !source->IsMacro();
    sources_.push_back(std::move(source));
    PushScannerBuffer(scanner_, atLineStart);
}

bool ScriptCompiler::PopSource()
{
    if (sources_.empty())
        return false;
    InputSource& top = *sources_.back();
    if (top.Name() && !saved_.empty()) {
        while (conditionals_.size() > saved_.back().conditionals) {
            Warning("missing '#endif'");
            conditionals_.pop_back();
        }
        file_ = saved_.back().file;
        line_ = saved_.back().line;
        saved_.pop_back();
        if (pass_ == 1 && sources_.size() > 1)
            Append("\n# line " + std::to_string(line_) + " \"" + MarkerName(file_) + "\"\n");
    }
    if (top.IsMacro())
        --macroDepth_;
    sources_.pop_back();
    return !sources_.empty();
}

void ScriptCompiler::LineMarker(const char* text, std::size_t length)
{
    const std::string_view s(text, length);
    std::size_t i = s.find("line") + 4;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r'))
        ++i;
    unsigned long long number = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        number = std::min<unsigned long long>(number * 10 + static_cast<unsigned>(s[i] - '0'), 0xFFFFFFFFull);
        ++i;
    }
    const std::size_t open = s.find('"', i);
    const std::size_t close = s.rfind('"');
    if (open != std::string_view::npos && close > open)
        file_ = std::string(s.substr(open + 1, close - open - 1));
    line_ = static_cast<unsigned>(number);
}

NumberToken ScriptCompiler::ParseInteger(const char* text)
{
    std::int64_t value = 0;
    const char* p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > 2147483648LL) {
            overflow = true;
            value = 2147483648LL;
        }
    }
    if (negative)
        value = -value;
    if (overflow || value > INT32_MAX || value < INT32_MIN) {
        Error("integer constant '%s' is out of range", text);
        return NumberToken{0, 0};
    }
    return NumberToken{value, 1};
}

RealToken ScriptCompiler::ParseReal(const char* text)
{
    double value = 0;
    const char* end = text + std::strlen(text);
    const auto r = std::from_chars(text, end, value);
    if (r.ec != std::errc() || !std::isfinite(value)) {
        Error("real constant '%s' is out of range", text);
        return RealToken{0, 0};
    }
    return RealToken{value, 1};
}

bool ScriptCompiler::Active() const
{
    return conditionals_.empty() || (conditionals_.back().enclosingActive && conditionals_.back().branchActive);
}

void ScriptCompiler::TextToken(int kind, const char* text)
{
    if (!Active())
        return;
    if (macroDepth_ > 0) {
        // Macros of macros can multiply a small file into more text than memory
        // holds: count both the pieces and their bytes.
        macroBytes_ += std::strlen(text) + 1;
        if (++macroTokens_ > options_.maxMacroTokens || macroBytes_ > options_.maxMacroBytes) {
            if (!macroLimitReported_)
                Error("macro expansion too large");
            macroLimitReported_ = true;
            return;
        }
    }
    if (kind == PP_NAME) {
        if (const auto* body = macros_.Find(text)) {
            if (macroDepth_ >= options_.maxMacroDepth || macroExpansions_ >= options_.maxMacroExpansions) {
                // A macro that reaches its own name again would expand without end.
                if (!macroLimitReported_)
                    Error("macro '%s' expands too deeply", text);
                macroLimitReported_ = true;
                return;
            }
            ++macroExpansions_;
            auto source = std::make_unique<PieceReader>(*body, true);
            PushSource(std::move(source));
            return;
        }
        Append(text);
    } else if (kind == PP_STRING) {
        Append(text, true);
    } else {
        Append(text);
    }
}

void ScriptCompiler::BeginDirective(int kind)
{
    directive_ = kind;
    directiveArgs_.clear();
}

void ScriptCompiler::DirectiveArgument(int kind, const char* text)
{
    directiveArgs_.push_back(PreprocessorToken{kind, text});
}

void ScriptCompiler::EndDirective()
{
    // Messages name the directive's own line; its newline is counted last.
    bool newlineDone = false;
    const auto& args = directiveArgs_;
    switch (directive_) {
    case PP_IFDEF:
    case PP_IFNDEF: {
        bool condition = false;
        if (args.empty() || args[0].kind != PP_NAME) {
            Warning("invalid '#ifdef' or '#ifndef' directive");
        } else {
            condition = (macros_.Find(args[0].text) != nullptr) == (directive_ == PP_IFDEF);
            if (args.size() > 1)
                Warning("unexpected symbols in preprocessor directive");
        }
        conditionals_.push_back(Conditional{condition, condition, false, Active()});
        break;
    }
    case PP_ELSE:
        if (conditionals_.empty()) {
            Warning("'#else' not within conditional block");
            break;
        }
        if (conditionals_.back().elseSeen)
            Warning("'#else' already found");
        conditionals_.back().elseSeen = true;
        conditionals_.back().branchActive = !conditionals_.back().value;
        conditionals_.back().value = conditionals_.back().branchActive;
        if (!args.empty())
            Warning("unexpected symbols in preprocessor directive");
        break;
    case PP_ENDIF:
        if (conditionals_.empty()) {
            Warning("unexpected '#endif'");
            break;
        }
        conditionals_.pop_back();
        if (!args.empty())
            Warning("unexpected symbols in preprocessor directive");
        break;
    case PP_DEFINE: {
        if (!Active())
            break;
        if (args.empty() || args[0].kind != PP_NAME) {
            Warning("invalid #define directive");
            break;
        }
        std::vector<std::string> body;
        for (std::size_t i = 1; i < args.size(); ++i)
            body.push_back(args[i].kind == PP_STRING ? std::string("\"") + args[i].text + "\"" : args[i].text);
        if (macros_.Find(args[0].text)) {
            Warning("macro redefinition");
            macros_.Remove(args[0].text);
        }
        macros_.Insert(args[0].text, std::move(body));
        break;
    }
    case PP_INCLUDE:
        if (!Active())
            break;
        if (args.empty() || args[0].kind != PP_STRING) {
            Warning("invalid #include directive");
            break;
        }
        if (args.size() > 1)
            Warning("unexpected symbols in preprocessor directive");
        IncludeFile(args[0].text);  // counts this directive's line
        newlineDone = true;
        break;
    default:
        if (Active())
            Warning("unrecognized preprocessor directive");
        break;
    }
    directiveArgs_.clear();
    if (!newlineDone)
        NewLine();
}

std::optional<std::vector<uint8_t>> ScriptCompiler::ReadSourceFile(const std::filesystem::path& path,
                                                                   std::string& why) const
{
    std::string error;
    auto bytes = platform::ReadWholeFile(path, options_.maxFileBytes, &error);
    const bool missing = !bytes && (errno == ENOENT || errno == ENOTDIR);
    // A file that is simply not there keeps the plain message; any other
    // refusal says what was wrong (the read's message ends with it).
    why.clear();
    if (!bytes && !missing)
        why = error.substr(error.rfind(": ")); // ": not a regular file", ": too large (...)"
    return bytes;
}

void ScriptCompiler::IncludeFile(const std::string& name)
{
    if (static_cast<int>(saved_.size()) >= options_.maxIncludeDepth) {
        // A file that includes itself would otherwise open without end.
        Error("#include nested too deeply");
        NewLine();
        return;
    }
    std::optional<std::vector<uint8_t>> bytes;
    std::string why;
    if (!includeRoot_.empty()) {
        if (const auto path = platform::ResolveDataPath(includeRoot_, name))
            bytes = ReadSourceFile(*path, why);
    }
    if (!bytes)
        Error("unable to open file '%s'%s", name.c_str(), why.c_str());
    // The included text starts after this line.
    NewLine();
    PushSource(std::make_unique<FileSource>(name, bytes ? std::string(bytes->begin(), bytes->end()) : std::string()));
}

// Pass 2 ------------------------------------------------------------------

DefinitionRef ScriptCompiler::Create(DefinitionKind kind)
{
    DefinitionRef d = CreateDefinition(kind);
    d->JoinGroup(group_);
    return d;
}

DefinitionContext* ScriptCompiler::BeginDefinition(bool abstractMark, int kind, const char* name, const char* parent)
{
    DefinitionContext& ctx = contexts_.emplace_back();
    items_.clear();
    ctx.abstractMark = abstractMark;
    const auto k = static_cast<DefinitionKind>(kind);
    if (name) {
        if (DefinitionRef* entry = symbols_.Find(name)) {
            if ((*entry)->Kind() != k)
                Error("object already defined or declared as a different type");
            else
                ctx.object = *entry;
        } else {
            ctx.object = Create(k);
            symbols_.Insert(name, ctx.object);
        }
    } else {
        ctx.object = Create(k);
        ctx.object->SetAnonymous();
        ctx.anonymous = true;
    }
    if (ctx.object)
        ctx.object->SetSource(file_, line_);
    if (parent) {
        DefinitionRef* entry = symbols_.Find(parent);
        if (!entry || !(*entry)->Defined())
            Error("symbol '%s' has not been defined", parent);
        else
            ctx.parent = *entry;
    }
    return &ctx;
}

void ScriptCompiler::Declare(int kind, const char* name)
{
    const auto k = static_cast<DefinitionKind>(kind);
    if (DefinitionRef* entry = symbols_.Find(name)) {
        if ((*entry)->Kind() != k)
            Error("object already defined or declared as a different type");
        return;
    }
    symbols_.Insert(name, Create(k));
}

void ScriptCompiler::AddItem(ValueItem item)
{
    items_.push_back(std::move(item));
}

void ScriptCompiler::AddStringItem(int key, const char* text)
{
    ValueItem item;
    item.key = key;
    item.form = ValueItem::Form::kString;
    if (text)
        item.text = text;
    AddItem(std::move(item));
}

void ScriptCompiler::AddIntItem(int key, NumberToken value)
{
    if (!value.ok)
        return;
    ValueItem item;
    item.key = key;
    item.form = ValueItem::Form::kInt;
    item.integer = static_cast<std::int32_t>(value.value);
    AddItem(std::move(item));
}

void ScriptCompiler::AddIntItemFromReal(int key, RealToken value)
{
    if (!value.ok)
        return;
    Warning("expecting an integral constant");
    const double cut = std::trunc(value.value);
    if (!(cut >= -2147483648.0 && cut <= 2147483647.0)) {
        Error("integral constant out of range");
        return;
    }
    AddIntItem(key, NumberToken{static_cast<std::int64_t>(cut), 1});
}

void ScriptCompiler::AddRealItem(int key, double value, int ok)
{
    if (!ok)
        return;
    ValueItem item;
    item.key = key;
    item.form = ValueItem::Form::kReal;
    item.real = value;
    AddItem(std::move(item));
}

void ScriptCompiler::AddBoolItem(int key, bool value)
{
    ValueItem item;
    item.key = key;
    item.form = ValueItem::Form::kBool;
    item.boolean = value;
    AddItem(std::move(item));
}

void ScriptCompiler::AddReferenceItem(int key, const char* name)
{
    ValueItem item;
    item.key = key;
    item.form = ValueItem::Form::kReference;
    if (name) {
        DefinitionRef* entry = symbols_.Find(name);
        if (!entry) {
            Error("symbol '%s' has not been declared", name);
            return;
        }
        if ((*entry)->Defined() && !(*entry)->IsComplete())
            Warning("symbol '%s' is abstract", name);
        item.reference = *entry;
    }
    AddItem(std::move(item));
}

void ScriptCompiler::AddLifeItem(LifeMode mode, double value, int ok, double unitSeconds)
{
    if (!ok)
        return;
    ValueItem item;
    item.key = kLifeClauseKey;
    item.form = ValueItem::Form::kLife;
    item.life.mode = mode;
    double count = 0;
    if (mode == LifeMode::kTimed)
        count = std::floor(value * unitSeconds * options_.ticksPerSecond);
    else if (mode == LifeMode::kParticleCount)
        count = value;
    // Ticks are 64-bit; a count that does not fit, or a negative one, is refused.
    if (!(count >= 0 && count < 9.2e18)) {
        Error("value for life is out of range");
        return;
    }
    item.life.count = static_cast<std::int64_t>(count);
    AddItem(std::move(item));
}

void ScriptCompiler::BeginUse(const char* role)
{
    use_ = UseClause{};
    useValid_ = false;
    DefinitionRef* entry = symbols_.Find(role);
    if (!entry) {
        Error("symbol '%s' has not been declared", role);
        return;
    }
    if ((*entry)->Kind() != DefinitionKind::kRole) {
        Error("symbol '%s' is not a role", role);
        return;
    }
    if ((*entry)->Defined() && !(*entry)->IsComplete())
        Warning("symbol '%s' is abstract", role);
    use_.role = *entry;
    useValid_ = true;
}

void ScriptCompiler::UseTeam(NumberToken team, bool given)
{
    if (!given) {
        Warning("no team specified - assuming team 0");
        use_.team = 0;
        return;
    }
    use_.team = team.ok ? static_cast<int>(team.value) : 0;
    if (use_.team < 0)
        Error("team numbers cannot be negative");
}

void ScriptCompiler::UseTarget(const char* object, const char* variable)
{
    script::UseTarget target;
    target.object = object;
    if (variable)
        target.variable = variable;
    else
        Warning("no console variable specified");
    use_.targets.push_back(std::move(target));
}

void ScriptCompiler::MissingAnd()
{
    Warning("missing 'and'");
}

void ScriptCompiler::EndUse()
{
    if (!useValid_)
        return;
    ValueItem item;
    item.key = kUseClauseKey;
    item.form = ValueItem::Form::kUse;
    item.use = std::move(use_);
    use_ = UseClause{};
    AddItem(std::move(item));
}

ScriptDefinition* ScriptCompiler::EndDefinition(DefinitionContext* ctx)
{
    std::vector<ValueItem> items = std::move(items_);
    items_.clear();
    if (!ctx || !ctx->object)
        return nullptr;
    ScriptDefinition& obj = *ctx->object;
    if (obj.Defined()) {
        Error("object has already been defined");
        return nullptr;
    }
    if (ctx->parent) {
        if (ctx->parent->Kind() != obj.Kind())
            Error("cannot inherit from a different type");
        else
            obj.CopyFrom(*ctx->parent, *this);
    }
    for (const ValueItem& item : items)
        obj.SetValue(item, *this);
    obj.ApplyDefaults(*this);
    if (definedFiles_.empty() || definedFiles_.back() != file_)
        definedFiles_.push_back(file_);
    definedAt_[&obj] = {definedFiles_.size() - 1, line_};
    const bool complete = obj.IsComplete();
    ScriptDefinition* result = nullptr;
    if (!ctx->abstractMark) {
        if (complete)
            result = &obj;
        else
            Warning("abstract definition not declared with 'abstract'");
    }
    if ((ctx->abstractMark || !complete) && ctx->anonymous)
        Warning("anonymous abstract definitions are pointless");
    return result;
}

void ScriptCompiler::Statement(ScriptDefinition* object)
{
    if (!object)
        return;
    if (!object->SuitsFileMode(mode_)) {
        Warning("unsuitable script object type ignored");
        return;
    }
    if (!building_)
        building_ = std::make_unique<ScriptObjectList>(group_);
    building_->Append(DefinitionRef::Share(object));
}

void ScriptCompiler::FinishScript()
{
    if (!building_ || building_->Count() == 0) {
        Warning("empty script found");
        building_ = std::make_unique<ScriptObjectList>(group_);
    }
    result_ = std::move(building_);
    resultSet_ = true;
}

void ScriptCompiler::SyntaxError(const char* message)
{
    if (std::strcmp(message, "memory exhausted") == 0)
        Error("yacc stack overflow");
    else
        Error("syntax error");
}

// Driver ------------------------------------------------------------------

void ScriptCompiler::RunPass(int pass, std::unique_ptr<InputSource> first)
{
    pass_ = pass;
    scanner_ = CreateScanner(this);
    if (!scanner_) {
        Error("out of dynamic memory in yy_create_buffer()");
        return;
    }
    startToken_ = pass == 1 ? START_PREPROCESS : START_DEFINITIONS;
    BeginScannerPass(scanner_, pass);
    try {
        PushSource(std::move(first));
        RunGeneratedParser(*this, scanner_);
    } catch (const ScannerFatalError& e) {
        Error("%s", e.what());
    } catch (const std::bad_alloc&) {
        Error("out of dynamic memory");
    }
    // A parse that stopped early leaves sources behind.
    sources_.clear();
    DestroyScanner(scanner_);
    scanner_ = nullptr;
    saved_.clear();
    conditionals_.clear();
    macroDepth_ = 0;
}

CompileResult ScriptCompiler::CompileSource(std::unique_ptr<InputSource> top, bool opened, const std::string& why)
{
    CompileResult out;
    macros_.Clear();
    symbols_.Clear();
    if (!opened) {
        file_ = top->Name() ? *top->Name() : std::string();
        line_ = 0;
        Error("unable to open file '%s'%s", file_.c_str(), why.c_str());
    } else {
        std::string text;
        output_ = &text;
        RunPass(1, std::move(top));
        output_ = nullptr;
        RunPass(2, std::make_unique<TextReader>(std::move(text)));
        macros_.Clear();
        symbols_.Clear();
        contexts_.clear();
        items_.clear();
        use_ = UseClause{};
        if (!resultSet_) {
            Error("confused by earlier errors");
        } else {
            for (const DefinitionRef& d : *result_) {
                if (d->ValidateReferences())
                    continue;
                const auto at = definedAt_.find(d.get());
                if (at != definedAt_.end()) {
                    file_ = definedFiles_[at->second.first];
                    line_ = at->second.second;
                }
                Error("incomplete object definition found");
            }
            out.list = std::move(result_);
        }
        // Definitions only the symbol table held are gone; rings of them too.
        if (!out.list)
            group_->Close();
        group_->CollectCycles();
    }
    out.errors = errors_;
    out.warnings = warnings_;
    out.messages = std::move(messages_);
    return out;
}

PreprocessResult ScriptCompiler::PreprocessOnly(std::unique_ptr<InputSource> top)
{
    std::string text;
    output_ = &text;
    RunPass(1, std::move(top));
    output_ = nullptr;
    PreprocessResult out;
    out.text = std::move(text);
    out.errors = errors_;
    out.warnings = warnings_;
    out.messages = std::move(messages_);
    return out;
}

CompileResult CompileScriptFile(const std::filesystem::path& path, int mode, const CompileOptions& options)
{
    ScriptCompiler sc(options, mode);
    std::filesystem::path root = options.includeRoot;
    if (root.empty())
        root = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    sc.SetIncludeRoot(root);
    std::string why;
    const auto bytes = sc.ReadSourceFile(path, why);
    auto source = std::make_unique<FileSource>(path.string(), bytes ? std::string(bytes->begin(), bytes->end())
                                                                    : std::string());
    return sc.CompileSource(std::move(source), bytes.has_value(), why);
}

CompileResult CompileScriptText(std::string_view text, std::string_view name, int mode, const CompileOptions& options)
{
    ScriptCompiler sc(options, mode);
    sc.SetIncludeRoot(options.includeRoot);
    return sc.CompileSource(std::make_unique<FileSource>(std::string(name), std::string(text)), true);
}

PreprocessResult PreprocessScriptText(std::string_view text, std::string_view name, const CompileOptions& options)
{
    ScriptCompiler sc(options, kLevelScriptMode);
    sc.SetIncludeRoot(options.includeRoot);
    return sc.PreprocessOnly(std::make_unique<FileSource>(std::string(name), std::string(text)));
}

void ScriptObjectList::Release()
{
    items_.clear();
    if (group_) {
        group_->Close();
        group_->CollectCycles();
    }
}

void ScriptObjectList::BuildAll(const std::function<void(int percent)>& progress) const
{
    double accumulator = 0;
    const double count = static_cast<double>(items_.size());
    for (const DefinitionRef& d : items_) {
        d->Build();
        if (progress)
            progress(static_cast<int>(accumulator / count));
        accumulator += 100.0;
    }
}

} // namespace script
