#!/usr/bin/python3
"""Prints the commands that shell scripts run, one a line (a path where the
script names one): the words in
command position, including those inside $(...), after exec, xargs,
timeout, env and the like. Quoted text that is not a command substitution is
data, not a command. Here-documents are skipped."""
import re
import shlex
import sys

SEPARATORS = {"|", "||", "&&", ";", "&", "(", ")", "{", "}", "!", ";;", "|&", "\n"}
KEYWORDS = {"if", "then", "else", "elif", "do", "while", "until", "time"}
# Words after which the next word is again a command, and how many of their
# own arguments (options aside) come first.
WRAPPERS = {"exec": 0, "xargs": 0, "timeout": 1, "env": 0, "nice": 0, "nohup": 0, "sudo": 0,
            "command": 0, "chroot": 1, "strace": 0}


def substitutions(text):
    """The bodies of $(...) in text, with nesting."""
    bodies, i = [], 0
    while (i := text.find("$(", i)) >= 0:
        depth, j = 1, i + 2
        while j < len(text) and depth:
            depth += {"(": 1, ")": -1}.get(text[j], 0)
            j += 1
        bodies.append(text[i + 2:j - 1])
        i = j
    return bodies


def commands(source):
    try:
        lexer = shlex.shlex(source, posix=True, punctuation_chars=";&|(){}!")
        lexer.whitespace = " \t\r"
        lexer.commenters = "#"
        lexer.wordchars += "$:/.-+=@%,[]*?~^"
        tokens = list(lexer)
    except ValueError:  # unbalanced quotes in a fragment: read it word by word
        tokens = source.split()
    found, expect, skip = set(), True, 0
    for token in tokens:
        for body in substitutions(token):
            found |= commands(body)
        if token in SEPARATORS or set(token) <= set(";&|(){}!"):
            expect, skip = True, 0
            continue
        if not expect:
            continue
        if token in KEYWORDS or re.match(r"^[A-Za-z_][A-Za-z0-9_]*(\[.*\])?\+?=", token):
            continue  # an assignment before the command, or a keyword
        if token.startswith("-"):
            continue  # a wrapper's option
        if skip:
            skip -= 1
            continue
        word = token.split("/")[-1] if token.startswith("/") else token
        if re.match(r"^[A-Za-z][A-Za-z0-9+._-]*$", word):
            found.add(token if re.match(r"^(/[A-Za-z0-9+._-]+)+$", token) else word)
        if word in WRAPPERS:
            skip = WRAPPERS[word]
        else:
            expect = False
    return found


def without_heredocs(text):
    out, end = [], None
    for line in text.splitlines():
        if end is not None:
            if line.strip() == end:
                end = None
            continue
        m = re.search(r"<<-?\s*['\"]?([A-Za-z_]+)['\"]?", line)
        if m:
            end = m.group(1)
        out.append(line)
    return "\n".join(out)


def main():
    found = set()
    for path in sys.argv[1:]:
        with open(path, encoding="utf-8") as f:
            # Each line is parsed with its continuation lines joined.
            text = without_heredocs(f.read()).replace("\\\n", " ")
        # A case label (a line starting "pattern)") is not a command.
        text = re.sub(r"(?m)^(\s*)[\w*.|:+-]+\)", r"\1", text)
        found |= commands(text.replace("\n", " \n "))
    print("\n".join(sorted(found)))


if __name__ == "__main__":
    main()
