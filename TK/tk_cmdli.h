// Command-line iteration over a table of "--name=" option prefixes.
#pragma once

struct cmd_line_option {
    int id;
    const char* prefix;
};

class TCmdLine {
public:
    explicit TCmdLine(const cmd_line_option* table) : options(table) {}
    virtual ~TCmdLine() = default;
    virtual void next() = 0;
    virtual bool has_more() const = 0;

    // The current argument after its matched prefix.
    const char* value() const;
    // The matched option's id, or -1 for an unrecognised argument.
    int id() const;
    int unrecognised_count() const { return unknown_count; }
    const char* unrecognised(int i) const { return unknown[i]; }

protected:
    const cmd_line_option* options;
    const char* current_value = nullptr;
    int current_id = -1;
    int unknown_count = 0;
    const char* unknown[20] = {};
};

class ansi_cmd_line : public TCmdLine {
public:
    ansi_cmd_line(int argc, const char* const* argv, const cmd_line_option* table);
    void next() override;
    bool has_more() const override { return remaining > 0; }

private:
    void classify(const char* argument);

    const char* const* cursor;
    int remaining;
};
