// State of one compile, shared by the generated scanner and parser and the
// driver. Not part of the library's interface.
#pragma once

#include "script/compiler.h"
#include "script/definition.h"
#include "script/name_tables.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace script {

// One input of the scanner: a file, the pass-1 output, or a macro body.
class InputSource {
public:
    virtual ~InputSource() = default;
    virtual std::size_t Read(char* buffer, std::size_t max) = 0;
    const std::string* Name() const { return named_ ? &name_ : nullptr; }
    bool IsMacro() const { return macro_; }

protected:
    std::string name_;
    bool named_ = false;
    bool macro_ = false;
};

// Pieces of text read back with one blank after each.
class PieceReader : public InputSource {
public:
    PieceReader(std::vector<std::string> pieces, bool macro) : pieces_(std::move(pieces)) { macro_ = macro; }
    std::size_t Read(char* buffer, std::size_t max) override;

private:
    std::vector<std::string> pieces_;
    std::size_t piece_ = 0;
    std::size_t offset_ = 0;
};

// The pass-1 output, read back as it was written.
class TextReader : public InputSource {
public:
    explicit TextReader(std::string text) : text_(std::move(text)) {}
    std::size_t Read(char* buffer, std::size_t max) override;

private:
    std::string text_;
    std::size_t textPos_ = 0;
};

class FileSource : public InputSource {
public:
    // A source that failed to open is given no text: it delivers only the
    // closing newline.
    FileSource(std::string name, std::string text);
    std::size_t Read(char* buffer, std::size_t max) override;

private:
    std::string text_;
    std::size_t textPos_ = 0;
    bool newlineSent_ = false;
};

struct Conditional {
    bool value = false;
    bool branchActive = false;
    bool elseSeen = false;
    bool enclosingActive = true;
};

// Token values of the generated parser (kept trivially copyable: the parser
// moves its stacks with memcpy).
struct NumberToken {
    std::int64_t value;
    int ok;  // 0 when the literal was out of range (already reported)
};
struct RealToken {
    double value;
    int ok;
};

struct DefinitionContext {
    DefinitionRef object;
    DefinitionRef parent;
    bool abstractMark = false;
    bool anonymous = false;
};

struct PreprocessorToken {
    int kind;  // parser token number
    const char* text;
};

class ScriptCompiler {
public:
    explicit ScriptCompiler(const CompileOptions& options, int mode);
    ~ScriptCompiler();

    void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Warning(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // "default value assumed for 'name'", the one warning most definitions give.
    void DefaultAssumed(std::string_view name);

    // Driver.
    // `why` follows the "unable to open" message of a source that failed to open.
    CompileResult CompileSource(std::unique_ptr<InputSource> top, bool opened, const std::string& why = {});
    // A script or included file, read whole within the size limit; on
    // failure `why` is empty for a missing file, else ": " and the reason.
    std::optional<std::vector<uint8_t>> ReadSourceFile(const std::filesystem::path& path, std::string& why) const;
    PreprocessResult PreprocessOnly(std::unique_ptr<InputSource> top);

    // Scanner services.
    std::size_t ReadInput(char* buffer, std::size_t max);
    bool PopSource();  // end of the current source; false when no input remains
    bool EndsNamedSource() const { return !sources_.empty() && sources_.back()->Name(); }
    void NewLine();
    // A stable, NUL-ended copy of a token text, alive for the compile.
    const char* Intern(std::string_view text);
    void LineMarker(const char* text, std::size_t length);
    NumberToken ParseInteger(const char* text);
    RealToken ParseReal(const char* text);
    int TakeStartToken() { int t = startToken_; startToken_ = 0; return t; }
    int commentDepth_ = 0;
    int commentReturn_ = 0;
    int lineCommentReturn_ = 0;
    bool commentOpen_ = false;

    // Pass-1 actions.
    void TextToken(int kind, const char* text);
    void BeginDirective(int kind);
    void DirectiveArgument(int kind, const char* text);
    void EndDirective();

    // Pass-2 actions.
    DefinitionContext* BeginDefinition(bool abstractMark, int kind, const char* name, const char* parent);
    void Declare(int kind, const char* name);
    void AddItem(ValueItem item);
    void AddStringItem(int key, const char* text);
    void AddIntItem(int key, NumberToken value);
    void AddIntItemFromReal(int key, RealToken value);
    void AddRealItem(int key, double value, int ok);
    void AddBoolItem(int key, bool value);
    void AddReferenceItem(int key, const char* name);
    void AddLifeItem(LifeMode mode, double value, int ok, double unitSeconds);
    void BeginUse(const char* role);
    void UseTeam(NumberToken team, bool given);
    void UseTarget(const char* object, const char* variable);
    void MissingAnd();
    void EndUse();
    ScriptDefinition* EndDefinition(DefinitionContext* context);
    void Statement(ScriptDefinition* object);
    void FinishScript();
    void SyntaxError(const char* message);

    int mode_;

private:
    struct SavedPosition {
        std::string file;
        unsigned line;
        std::size_t conditionals;
    };

    void Report(Severity severity, const char* format, va_list args) __attribute__((format(printf, 3, 0)));
    void Report(Severity severity, std::string text);
    void Append(std::string_view piece, bool quoted = false);  // quoted: a string, put back between quotes
    void PushSource(std::unique_ptr<InputSource> source);
    void IncludeFile(const std::string& name);
    bool Active() const;
    void RunPass(int pass, std::unique_ptr<InputSource> first);
    std::filesystem::path includeRoot_;

public:
    void SetIncludeRoot(std::filesystem::path root) { includeRoot_ = std::move(root); }

private:

    const CompileOptions& options_;
    void* scanner_ = nullptr;
    int startToken_ = 0;
    int pass_ = 1;
    std::string file_;
    unsigned line_ = 1;
    int errors_ = 0;
    int warnings_ = 0;
    std::vector<ScriptMessage> messages_;

    std::vector<std::unique_ptr<InputSource>> sources_;
    std::vector<SavedPosition> saved_;  // one per named source
    std::vector<Conditional> conditionals_;
    std::string* output_ = nullptr;  // pass-1 output, one blank after each piece; null in pass 2
    // Token texts of this compile, packed into blocks that never move.
    std::vector<std::unique_ptr<char[]>> textBlocks_;
    char* textFree_ = nullptr;
    std::size_t textLeft_ = 0;
    int macroDepth_ = 0;
    long macroExpansions_ = 0;
    long macroTokens_ = 0;
    uint64_t macroBytes_ = 0;
    uint64_t outputBytes_ = 0;
    bool macroLimitReported_ = false;
    bool outputLimitReported_ = false;

    // Directive being read.
    int directive_ = 0;
    std::vector<PreprocessorToken> directiveArgs_;

    MacroTable macros_;
    SymbolTable symbols_;
    std::deque<DefinitionContext> contexts_;
    std::vector<ValueItem> items_;
    UseClause use_;
    bool useValid_ = false;
    std::unique_ptr<ScriptObjectList> result_;
    bool resultSet_ = false;
    std::unique_ptr<ScriptObjectList> building_;
    std::shared_ptr<DefinitionGroup> group_ = std::make_shared<DefinitionGroup>();
    DefinitionRef Create(DefinitionKind kind);
    // Where each definition ended, for messages about it after the parse: an
    // index into definedFiles_ (one entry per run of definitions in one file).
    std::unordered_map<const ScriptDefinition*, std::pair<std::size_t, unsigned>> definedAt_;
    std::vector<std::string> definedFiles_;
};

} // namespace script
