#include "tests/e2e/interpreter_redirection.h"

#include <cstring>

namespace comspec {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
// Characters with a meaning of their own to the interpreter, outside quotes.
bool isOperator(char c) { return std::strchr("|&<^", c) != nullptr && c != '\0'; }

size_t skipBlanks(const std::string& text, size_t at) {
    while (at < text.size() && isBlank(text[at])) ++at;
    return at;
}

// A handle digit starts a redirection only as the first character of a word:
// in "file1>x" the 1 belongs to the word.
bool startsRedirection(const std::string& text, size_t at) {
    if (text[at] == '>') return true;
    return isDigit(text[at]) && at + 1 < text.size() && text[at + 1] == '>' && (at == 0 || isBlank(text[at - 1]));
}

// Reads the file name after '>' or '>>', from `at`; advances `at` past it.
bool readFileName(const std::string& text, size_t& at, std::string* file) {
    at = skipBlanks(text, at);
    if (at < text.size() && text[at] == '"') {
        const size_t close = text.find('"', at + 1);
        if (close == std::string::npos) return false;
        *file = text.substr(at + 1, close - at - 1);
        at = close + 1;
    } else {
        const size_t start = at;
        while (at < text.size() && !isBlank(text[at]) && text[at] != '>') {
            if (text[at] == '"' || isOperator(text[at])) return false;
            ++at;
        }
        *file = text.substr(start, at - start);
    }
    // What follows a name is a blank, the next redirection or the end.
    return !file->empty() && (at == text.size() || isBlank(text[at]) || text[at] == '>');
}

// Reads the redirections from `at` to the end of `text`.
bool readRedirections(const std::string& text, size_t at, std::vector<Redirection>* redirections) {
    for (at = skipBlanks(text, at); at < text.size(); at = skipBlanks(text, at)) {
        if (!startsRedirection(text, at)) return false;  // more of the command after a redirection
        Redirection redirection;
        if (isDigit(text[at])) redirection.handle = text[at++] - '0';
        if (redirection.handle != 1 && redirection.handle != 2) return false;
        ++at;  // '>'
        if (at < text.size() && text[at] == '>') {
            redirection.kind = RedirectionKind::Append;
            ++at;
        } else if (at < text.size() && text[at] == '&') {
            redirection.kind = RedirectionKind::Duplicate;
            ++at;
            if (at >= text.size() || (text[at] != '1' && text[at] != '2')) return false;
            redirection.duplicateOf = text[at++] - '0';
            if (at < text.size() && !isBlank(text[at]) && text[at] != '>') return false;
            redirections->push_back(redirection);
            continue;
        }
        if (!readFileName(text, at, &redirection.file)) return false;
        redirections->push_back(redirection);
    }
    return true;
}

}  // namespace

std::string argumentsAfterProgram(const std::string& commandLine, const std::string& comspecValue) {
    if (!comspecValue.empty() && commandLine.compare(0, comspecValue.size(), comspecValue) == 0 &&
        (commandLine.size() == comspecValue.size() || isBlank(commandLine[comspecValue.size()]))) {
        return commandLine.substr(comspecValue.size());
    }
    size_t end = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        end = commandLine.find('"', 1);
        end = end == std::string::npos ? commandLine.size() : end + 1;
    } else {
        while (end < commandLine.size() && !isBlank(commandLine[end])) ++end;
    }
    return commandLine.substr(end);
}

bool parseInterpreterArguments(const std::string& arguments, InterpreterCommand* command) {
    size_t at = skipBlanks(arguments, 0);
    if (arguments.compare(at, 2, "/c") != 0 && arguments.compare(at, 2, "/C") != 0) return false;
    at += 2;
    if (at >= arguments.size() || !isBlank(arguments[at])) return false;
    const std::string text = arguments.substr(skipBlanks(arguments, at));

    bool quoted = false;
    size_t tail = text.size();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && isOperator(text[i])) {
            return false;
        } else if (!quoted && startsRedirection(text, i)) {
            tail = i;
            break;
        }
    }
    if (quoted) return false;

    InterpreterCommand parsed;
    if (!readRedirections(text, tail, &parsed.redirections)) return false;
    size_t end = tail;
    while (end > 0 && isBlank(text[end - 1])) --end;
    if (end == 0) return false;  // nothing to run
    parsed.text = parsed.redirections.empty() ? text : text.substr(0, end);
    *command = parsed;
    return true;
}

}  // namespace comspec
