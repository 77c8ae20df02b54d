#!/usr/bin/perl
# Doxygen input filter for the public headers. The headers are written with plain
# "//" comments; this turns them into documentation comments on the fly:
#   - the opening comment block of a file documents the file itself;
#   - a comment block directly above a declaration documents that declaration,
#     and a comment after a declaration on the same line documents it too;
#   - indented lines after a line ending in ":" ("Example:") become code blocks;
#   - characters that Doxygen would read as commands or markup are escaped;
#   - comments inside function bodies and "// ---- ... ----" separators stay plain.
use strict;
use warnings;

my @lines = <>;
my @out;
my @stack;            # 'scope' (namespace, class, ...) or 'body' for every open brace
my $fileBlock = 1;    # still in the file's opening comment block
my $pendingScope = 0; # a namespace/class/struct/enum/union head without its brace yet

sub escape_text {
    my ($t) = @_;
    my @parts = split /(`[^`]*`)/, $t;
    for my $p (@parts) {
        next if $p =~ /^`/;
        $p =~ s/([\\<>@&#%\$"])/\\$1/g;
        $p =~ s/(?<![\w>)])::/\\::/g;
    }
    return join '', @parts;
}

sub in_body { return scalar grep { $_ eq 'body' } @stack; }

my $i = 0;
while ($i < @lines) {
    my $line = $lines[$i];
    if ($line =~ m{^(\s*)//(?!/)(.*)$} && !in_body()) {
        # A run of full-line comments at one level.
        my $indent = $1;
        my @block;
        while ($i < @lines && $lines[$i] =~ m{^\s*//(?!/)(.*)$}) {
            push @block, $1;
            $i++;
        }
        if (!$fileBlock && @block == 1 && $block[0] =~ /^\s*-{3,}.*-{3,}\s*$/) {
            push @out, "$indent//$block[0]\n";
            next;
        }
        my @doc;
        push @doc, "$indent/// \@file\n" if $fileBlock;
        my $code = 0;
        my $prevText = '';
        for my $b (@block) {
            my ($spaces, $text) = $b =~ /^(\s*)(.*)$/;
            my $deep = length($spaces) >= 3 && $text ne '';
            if ($code && !$deep && $text ne '') {
                push @doc, "$indent/// \@endcode\n";
                $code = 0;
            }
            if (!$code && $deep && $prevText =~ /:\s*$/ && $text !~ /^[-*] /) {
                push @doc, "$indent/// \@code\n";
                $code = 1;
            }
            if ($code) {
                push @doc, "$indent///$b\n";
            } else {
                push @doc, "$indent///" . escape_text($b) . "\n";
            }
            $prevText = $text if $text ne '';
            $prevText = '' if $text eq '' && !$code;
        }
        push @doc, "$indent/// \@endcode\n" if $code;
        # The file block ends at its first blank line or code line.
        $fileBlock = 0;
        push @out, @doc;
        next;
    }
    $fileBlock = 0 if $line =~ /\S/;

    # Code line: brace bookkeeping outside strings and character literals.
    my $code = $line;
    $code =~ s/"(?:\\.|[^"\\])*"/""/g;
    $code =~ s/'(?:\\.|[^'\\])*'/''/g;
    my $comment = '';
    if ($code =~ m{^(.*?)\s//(?!/)(.*)$}) {
        $comment = $2;
    }
    my $codePart = $code;
    $codePart =~ s{//.*$}{};
    $pendingScope = 1
        if $codePart =~ /\b(namespace|class|struct|enum|union)\b/ && $codePart !~ /;\s*$/;
    for my $ch (split //, $codePart) {
        if ($ch eq '{') {
            push @stack, ($pendingScope || ($codePart =~ /^\s*(extern\s+"C"\s*)?\{/ && 0)) ? 'scope' : 'body';
            $pendingScope = 0;
        } elsif ($ch eq '}') {
            pop @stack;
        }
    }
    $pendingScope = 0 if $codePart =~ /;\s*$/;
    if ($comment ne '' && !in_body() && $codePart =~ /\S/ && $line =~ m{^(.*?\S\s+)//(?!/)(.*)$}) {
        $line = $1 . '///<' . escape_text($2) . "\n";
    }
    push @out, $line;
    $i++;
}
print @out;
