/* Processing instructions, the XML declaration and the internal DTD subset:
 * general and parameter entities, attribute-list defaults. Nothing external
 * is ever loaded. */
#include "ezxml_internal.h"

#include <stdlib.h>
#include <string.h>

static char type_cdata[] = EZXML_TYPE_CDATA;
static char type_token[] = EZXML_TYPE_TOKEN;

static int is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

static char *skip_space(char *s) {
    while (is_space(*s)) ++s;
    return s;
}

static size_t table_pairs(char **table) {
    size_t n = 0;
    while (table[2 * n]) ++n;
    return n;
}

/* A NULL-ended pair table being appended to, with its pair count and the
 * pointer slots known to be allocated (0: not known, as for a table this
 * reader did not allocate). Room grows in powers of two, so n appends cost
 * O(n) in all. */
typedef struct {
    char ***table;
    size_t pairs, room;
} growing_table;

static growing_table growing(char ***table) {
    growing_table g;
    g.table = table;
    g.pairs = table_pairs(*table);
    g.room = 0;
    return g;
}

/* Appends name/value; 0 when out of memory. A table at fixed (the document
 * record's own) moves to the heap. */
static int table_append(growing_table *g, char **fixed, char *name, char *value) {
    const size_t n = g->pairs;
    char **t = *g->table;
    if (n > ((size_t)-1) / (4 * sizeof(char *)) - 2) return 0;
    if (2 * n + 3 > g->room) {
        size_t room = 8;
        char **grown;
        while (room < 2 * n + 3) room *= 2;
        if (t == fixed) {
            grown = (char **)ezxml_malloc(room * sizeof(char *));
            if (grown) memcpy(grown, fixed, 2 * n * sizeof(char *));
        } else {
            grown = (char **)ezxml_realloc(t, room * sizeof(char *));
        }
        if (!grown) return 0;
        *g->table = t = grown;
        g->room = room;
    }
    t[2 * n] = name;
    t[2 * n + 1] = value;
    t[2 * n + 2] = NULL;
    g->pairs = n + 1;
    return 1;
}

/* The cycle check's working storage, kept between the declarations of one
 * subset: marks for the entities visited (all clear between checks), the
 * walk's stack, the list of marks to clear, and the table's index. */
typedef struct {
    unsigned char *seen;
    const char **stack;
    size_t *visited;
    size_t room;
    ezxml_entity_index *ix; /* NULL: look names up by scanning */
    size_t steps;           /* references the checks may still follow */
} cycle_check;

static void cycle_check_release(cycle_check *c) {
    free(c->seen);
    free((void *)c->stack);
    free(c->visited);
}

/* Room for n entities; 0 when out of memory. */
static int cycle_check_fit(cycle_check *c, size_t n) {
    size_t room = c->room ? c->room : 16;
    unsigned char *seen;
    const char **stack;
    size_t *visited;
    if (n <= c->room) return 1;
    while (room < n) {
        if (room > ((size_t)-1) / (2 * sizeof(size_t))) return 0;
        room *= 2;
    }
    seen = (unsigned char *)ezxml_realloc(c->seen, room);
    if (!seen) return 0;
    memset(seen + c->room, 0, room - c->room);
    c->seen = seen;
    stack = (const char **)ezxml_realloc((void *)c->stack, room * sizeof *stack);
    if (!stack) return 0;
    c->stack = stack;
    visited = (size_t *)ezxml_realloc(c->visited, room * sizeof *visited);
    if (!visited) return 0;
    c->visited = visited;
    c->room = room;
    return 1;
}

/* Follows the references of value through the table of n pairs. Each entity
 * is looked at once (a second visit cannot find anything new), so a deeply
 * shared definition costs no more than its size, and the walk keeps its own
 * stack. 0 when value leads back to name, -1 when memory ran out (cannot tell). */
static int acyclic(const char *name, const char *value, char **entities, size_t n, cycle_check *c) {
    size_t depth = 0, visits = 0, name_len;
    const char *p = value;
    int result = 1;
    if (!strchr(value, '&')) return 1; /* no reference: nothing to follow */
    if (!cycle_check_fit(c, n + 1)) return -1;
    name_len = strlen(name);
    for (;;) {
        size_t idx;
        char **entry;
        p = strchr(p, '&');
        if (!p) {
            if (!depth) break;
            p = c->stack[--depth];
            continue;
        }
        ++p;
        if (strncmp(p, name, name_len) == 0 || c->steps == 0) {
            result = 0; /* a cycle, or too much work to tell */
            break;
        }
        --c->steps;
        entry = c->ix ? ezxml_entity_index_match(c->ix, entities, p) : ezxml_match_entity(entities, p);
        if (!entry) continue;
        idx = (size_t)(entry - entities) / 2;
        if (c->seen[idx] || !entry[1]) continue;
        c->seen[idx] = 1;
        c->visited[visits++] = idx;
        c->stack[depth++] = p;
        p = entry[1];
    }
    while (visits) c->seen[c->visited[--visits]] = 0;
    return result;
}

int ezxml_entity_acyclic(const char *name, const char *value, char **entities) {
    cycle_check c;
    int result;
    memset(&c, 0, sizeof c);
    c.steps = (size_t)-1;
    result = acyclic(name, value, entities, table_pairs(entities), &c) > 0;
    cycle_check_release(&c);
    return result;
}

int ezxml_record_pi(ezxml_root *root, char *start, size_t length) {
    char *target = start, *text, *p, **list, *pos;
    char ***table;
    size_t lists = 0, k, count;
    start[length] = '\0';
    for (p = start; *p && !is_space(*p); ++p) {
    }
    if (*p) *p++ = '\0';
    text = skip_space(p);

    if (strcmp(target, "xml") == 0) {
        char *q = strstr(text, "standalone");
        if (q) {
            q += 10;
            while (is_space(*q) || *q == '=' || *q == '"' || *q == '\'') ++q;
            if (strncmp(q, "yes", 3) == 0) root->standalone = 1;
        }
        return 1;
    }

    table = root->instructions;
    if (table != (char ***)EZXML_EMPTY_LIST)
        for (; table[lists] && strcmp(table[lists][0], target) != 0; ++lists) {
        }
    if (table == (char ***)EZXML_EMPTY_LIST || !table[lists]) {
        /* A new target: target, NULL, empty position string. */
        char ***grown;
        char **fresh = (char **)ezxml_malloc(3 * sizeof(char *));
        char *positions = (char *)ezxml_malloc(1);
        if (table == (char ***)EZXML_EMPTY_LIST) table = NULL;
        grown = fresh && positions ? (char ***)ezxml_realloc(table, (lists + 2) * sizeof(char **)) : NULL;
        if (!grown) {
            free(fresh);
            free(positions);
            return 0;
        }
        positions[0] = '\0';
        fresh[0] = target;
        fresh[1] = NULL;
        fresh[2] = positions;
        grown[lists] = fresh;
        grown[lists + 1] = NULL;
        root->instructions = table = grown;
    }

    list = table[lists];
    for (count = 0; list[count + 1]; ++count) {
    }
    pos = list[count + 2];
    {
        char *pos_grown = (char *)ezxml_realloc(pos, count + 2);
        char **list_grown;
        if (!pos_grown) return 0;
        list[count + 2] = pos_grown;
        pos_grown[count] = '\0';
        list_grown = (char **)ezxml_realloc(list, (count + 4) * sizeof(char *));
        if (!list_grown) return 0;
        k = count + 1;
        list_grown[k] = text;
        list_grown[k + 1] = NULL;
        list_grown[k + 2] = pos_grown;
        pos_grown[count] = root->node.name ? '>' : '<';
        pos_grown[count + 1] = '\0';
        table[lists] = list_grown;
    }
    return 1;
}

/* --- declared attributes -------------------------------------------------
 * While a subset is read, a hash table finds each element's default list
 * (and how long it is) and remembers every attribute declared, so that
 * appending a default costs O(1) and the first declaration of an attribute
 * is binding: a later one, whatever its type or default, is ignored. */

typedef struct {
    const char *element;
    const char *attr; /* NULL: the element's own entry; NULL element: free slot */
    size_t hash;
    size_t list; /* element entry: index of its list in attr_defaults */
    size_t used; /* element entry: pointers in the list before its terminator */
    size_t room; /* element entry: pointers allocated (0: not known) */
} decl_slot;

typedef struct {
    decl_slot *slots;
    size_t mask, used;
    size_t lists;      /* lists in attr_defaults */
    size_t lists_room; /* pointers allocated for attr_defaults (0: not known) */
    int ready;
} declarations;

static size_t decl_hash(const char *element, const char *attr) {
    size_t h = ezxml_bytes_hash(element, strlen(element));
    if (attr) h = (h * 31) ^ (ezxml_bytes_hash(attr, strlen(attr)) + 1);
    return h;
}

/* The entry of (element, attr), or the free slot where it would go. */
static decl_slot *decl_find(const declarations *d, const char *element, const char *attr, size_t h) {
    size_t i;
    for (i = h & d->mask;; i = (i + 1) & d->mask) {
        decl_slot *s = &d->slots[i];
        if (!s->element) return s;
        if (s->hash == h && (s->attr == NULL) == (attr == NULL) && strcmp(s->element, element) == 0 &&
            (!attr || strcmp(s->attr, attr) == 0))
            return s;
    }
}

/* Room for n more entries; 0 when out of memory. */
static int decl_reserve(declarations *d, size_t n) {
    decl_slot *old = d->slots, *fresh;
    size_t old_count = d->slots ? d->mask + 1 : 0, mask, i;
    if (d->slots && 2 * (d->used + n) + 2 <= old_count) return 1;
    fresh = (decl_slot *)ezxml_hash_slots(2 * (d->used + n), sizeof(decl_slot), &mask);
    if (!fresh) return 0;
    d->slots = fresh;
    d->mask = mask;
    for (i = 0; i < old_count; ++i)
        if (old[i].element) *decl_find(d, old[i].element, old[i].attr, old[i].hash) = old[i];
    free(old);
    return 1;
}

static void decl_put(declarations *d, decl_slot *at, const char *element, const char *attr, size_t h) {
    memset(at, 0, sizeof *at);
    at->element = element;
    at->attr = attr;
    at->hash = h;
    ++d->used;
}

/* Enters the lists the document holds already (from an earlier subset). */
static int decl_start(declarations *d, ezxml_root *root) {
    char ***t = root->attr_defaults;
    size_t n = 0, entries = 0, i, k;
    if (t == (char ***)EZXML_EMPTY_LIST) return d->ready = decl_reserve(d, 16);
    for (; t[n]; ++n)
        for (k = 1; t[n][k]; k += 3) ++entries;
    if (!decl_reserve(d, n + entries + 16)) return 0;
    d->ready = 1;
    d->lists = n;
    for (i = 0; i < n; ++i) {
        const char *element = t[i][0];
        size_t h = decl_hash(element, NULL);
        decl_slot *e = decl_find(d, element, NULL, h);
        if (e->element) continue; /* a second list of a name: lookups never reach it */
        decl_put(d, e, element, NULL, h);
        e->list = i;
        for (k = 1; t[i][k]; k += 3) {
            const size_t ha = decl_hash(element, t[i][k]);
            decl_slot *a = decl_find(d, element, t[i][k], ha);
            if (!a->element) decl_put(d, a, element, t[i][k], ha);
        }
        e->used = k;
    }
    return 1;
}

/* Grows a pointer array of *room (0: not known, then used is taken) to
 * hold need pointers; 0 when out of memory (the array is unchanged). */
static int grow_pointers(void **array, size_t *room, size_t used, size_t need, size_t size) {
    size_t cap = *room ? *room : used;
    void *grown;
    if (need <= cap) return 1;
    if (cap < 4) cap = 4;
    while (cap < need) {
        if (cap > ((size_t)-1) / (2 * size)) return 0;
        cap *= 2;
    }
    grown = ezxml_realloc(*array, cap * size);
    if (!grown) return 0;
    *array = grown;
    *room = cap;
    return 1;
}

/* Declares attr of element with its default (NULL: none) and type: 1 when
 * declared now, 0 when it was declared before (nothing changes; the caller
 * keeps value), -1 when out of memory. An attribute declared CDATA without
 * a default needs no list entry: it is only remembered. */
static int declare_attribute(declarations *d, ezxml_root *root, const char *element, char *attr, char *value,
                             char *type) {
    const size_t ha = decl_hash(element, attr), he = decl_hash(element, NULL);
    decl_slot *a, *e;
    char **list;
    if (!d->ready && !decl_start(d, root)) return -1;
    if (decl_find(d, element, attr, ha)->element) return 0;
    if (!decl_reserve(d, 2)) return -1;
    if (!value && type == type_cdata) {
        decl_put(d, decl_find(d, element, attr, ha), element, attr, ha);
        return 1;
    }
    e = decl_find(d, element, NULL, he);
    if (!e->element) {
        /* A new list (element name, NULL) behind the others. */
        char ***table = root->attr_defaults == (char ***)EZXML_EMPTY_LIST ? NULL : root->attr_defaults;
        char **fresh = (char **)ezxml_malloc(4 * sizeof(char *));
        if (!fresh) return -1;
        if (!grow_pointers((void **)&table, &d->lists_room, d->lists + 1, d->lists + 2, sizeof(char **))) {
            free(fresh);
            return -1;
        }
        fresh[0] = (char *)element;
        fresh[1] = NULL;
        table[d->lists] = fresh;
        table[d->lists + 1] = NULL;
        root->attr_defaults = table;
        decl_put(d, e, element, NULL, he);
        e->list = d->lists++;
        e->used = 1;
        e->room = 4;
    }
    list = root->attr_defaults[e->list];
    if (!grow_pointers((void **)&list, &e->room, e->used + 1, e->used + 4, sizeof(char *))) return -1;
    root->attr_defaults[e->list] = list;
    list[e->used] = attr;
    list[e->used + 1] = value;
    list[e->used + 2] = type;
    list[e->used + 3] = NULL;
    e->used += 3;
    a = decl_find(d, element, attr, ha);
    decl_put(d, a, element, attr, ha);
    return 1;
}

/* --- the internal subset --------------------------------------------------
 * One function per declaration kind; each gets the position of its "<" and
 * returns where reading goes on, or NULL to end the subset. A problem of the
 * subset is recorded in the parse status and ends the subset only, as the
 * declarations read before it stay in force; running out of memory or over
 * the expansion budget also stops the parse. */

typedef struct {
    ezxml_root *root;
    char *start, *limit; /* the subset */
    char **pe;           /* the parameter-entity table */
    growing_table general, parameter;
    ezxml_entity_index general_index;
    cycle_check cycles;
    declarations decls;
    size_t *budget;
    int failure; /* 0, or the EZXML_PARSE_ code that stops the parse */
} dtd_reader;

static size_t dtd_offset(const dtd_reader *r, const char *at) { return (size_t)(at - r->root->work_start); }

/* Records a problem of the subset at at; NULL. */
static char *problem(dtd_reader *r, const char *at, const char *what) {
    ezxml_note_stop(r->root, EZXML_PARSE_MALFORMED, dtd_offset(r, at), "DTD: %s", what);
    return NULL;
}

/* Records a failure that stops the parse (out of memory, expansion budget); NULL. */
static char *fatal(dtd_reader *r, const char *at, int code) {
    if (code == EZXML_PARSE_EXPANSION_LIMIT)
        ezxml_note_stop(r->root, code, dtd_offset(r, at), "entity expansion over its limit");
    else
        ezxml_note_stop(r->root, EZXML_PARSE_OUT_OF_MEMORY, dtd_offset(r, at), "out of memory");
    r->failure = code == EZXML_PARSE_EXPANSION_LIMIT ? code : EZXML_PARSE_OUT_OF_MEMORY;
    return NULL;
}

static int outside_subset(const dtd_reader *r, const char *p) { return p < r->start || p > r->limit; }

/* "<!ENTITY": a general or parameter entity with a quoted value. */
static char *read_entity(dtd_reader *r, char *decl) {
    char *s = skip_space(decl + 8), *name, *v, *value, *close, *decoded;
    growing_table *table;
    ezxml_decode_options opt;
    char quote;
    int param, acyclic_result;
    param = *s == '%';
    while (is_space(*s) || *s == '%') ++s;
    name = s;
    while (*s && !is_space(*s)) ++s;
    if (!*s) return problem(r, decl, "entity declaration without a value");
    *s++ = ';';
    v = skip_space(s);
    if (*v != '"' && *v != '\'') {
        s = strchr(v, '>'); /* external entity: skipped */
        return s ? s : problem(r, decl, "unterminated entity declaration");
    }
    quote = *v;
    *s = '\0'; /* ends the name behind its ";" (it may be the quote) */
    value = v + 1;
    close = strchr(value, quote);
    if (close) *close = '\0';
    opt.entities = r->pe;
    opt.index = NULL;
    opt.budget = r->budget;
    opt.end = opt.readable_end = NULL;
    opt.predefined_first = 0;
    decoded = ezxml_decode(value, EZXML_MODE_ENTITY, &opt);
    if (!decoded) return fatal(r, value, opt.failure);
    table = param ? &r->parameter : &r->general;
    r->cycles.ix = param ? NULL : &r->general_index;
    acyclic_result = acyclic(name, decoded, *table->table, table->pairs, &r->cycles);
    if (acyclic_result <= 0) {
        if (decoded != value) free(decoded);
        if (acyclic_result < 0) return fatal(r, decl, EZXML_PARSE_OUT_OF_MEMORY);
        if (r->cycles.steps == 0) {
            ezxml_note_stop(r->root, EZXML_PARSE_EXPANSION_LIMIT, dtd_offset(r, decl),
                            "DTD: entity references too many to check");
            return NULL;
        }
        return problem(r, decl, "an entity that refers to itself");
    }
    if (!table_append(table, ezxml_inline_entities(r->root), name, decoded)) {
        if (decoded != value) free(decoded);
        return fatal(r, decl, EZXML_PARSE_OUT_OF_MEMORY);
    }
    if (!param) ezxml_entity_index_appended(&r->general_index, r->root->entities, r->general.pairs);
    /* Without its quote the value ran to the end of the subset. */
    return close ? close + 1 : problem(r, v, "entity value without its closing quote");
}

/* One attribute definition of an ATTLIST at *pos (its name): 1 when read
 * (*pos behind it), 0 when its default ends the declaration (reading goes
 * on at *pos), -1 to end the subset. */
static int read_attribute(dtd_reader *r, const char *element, char **pos) {
    char *s = *pos, *attr = s, *value = NULL, *type;
    int declared;
    while (*s && !is_space(*s)) ++s;
    if (!*s) return problem(r, attr, "attribute without a type"), -1;
    *s++ = '\0';
    s = skip_space(s);
    type = strncmp(s, "CDATA", 5) == 0 ? type_cdata : type_token;
    if (strncmp(s, "NOTATION", 8) == 0) s = skip_space(s + 8);
    if (*s == '(') {
        s = strchr(s, ')');
        if (!s) return problem(r, attr, "enumeration without \")\""), -1;
    } else {
        while (*s && !is_space(*s)) ++s;
    }
    while (is_space(*s) || *s == ')') ++s;
    if (strncmp(s, "#FIXED", 6) == 0) s = skip_space(s + 6);

    if (*s == '#') {
        /* #REQUIRED, #IMPLIED: no default. */
        while (*s && !is_space(*s) && *s != '>') ++s;
    } else if (*s == '"' || *s == '\'') {
        ezxml_decode_options opt;
        char *close = strchr(s + 1, *s);
        if (!close) return problem(r, s, "attribute default without its closing quote"), -1;
        *close = '\0';
        opt.entities = r->root->entities;
        opt.index = NULL;
        opt.budget = r->budget;
        opt.end = opt.readable_end = NULL;
        opt.predefined_first = 0;
        value = ezxml_decode(s + 1, type[0], &opt);
        if (!value) return fatal(r, s, opt.failure), -1;
        s = close + 1;
    } else {
        problem(r, s, "attribute default neither quoted nor a keyword");
        *pos = s;
        return 0;
    }
    declared = declare_attribute(&r->decls, r->root, element, attr, value, type);
    if (declared <= 0 && value && outside_subset(r, value)) free(value);
    if (declared < 0) return fatal(r, attr, EZXML_PARSE_OUT_OF_MEMORY), -1;
    *pos = s;
    return 1;
}

/* "<!ATTLIST": an element name and its attribute definitions. */
static char *read_attlist(dtd_reader *r, char *decl) {
    char *s = skip_space(decl + 9), *element;
    if (!*s) return problem(r, decl, "unterminated ATTLIST declaration");
    element = s;
    while (*s && !is_space(*s) && *s != '>') ++s;
    if (*s == '>') return s; /* an empty declaration */
    if (!*s) return problem(r, decl, "unterminated ATTLIST declaration");
    *s++ = '\0';
    for (;;) {
        int read;
        s = skip_space(s);
        if (!*s) return problem(r, decl, "unterminated ATTLIST declaration");
        if (*s == '>') return s;
        read = read_attribute(r, element, &s);
        if (read < 0) return NULL;
        if (read == 0) return s;
    }
}

/* "<!--": skipped. */
static char *skip_comment(dtd_reader *r, char *decl) {
    char *end = strstr(decl + 4, "-->");
    return end ? end + 3 : problem(r, decl, "unterminated comment");
}

/* "<?": an instruction, recorded with the document's. */
static char *read_pi(dtd_reader *r, char *decl) {
    char *close = strstr(decl + 2, "?>");
    if (!close) return problem(r, decl, "unterminated processing instruction");
    if (!ezxml_record_pi(r->root, decl + 2, (size_t)(close - (decl + 2))))
        return fatal(r, decl, EZXML_PARSE_OUT_OF_MEMORY);
    return close + 2;
}

/* Any other declaration ("<!ELEMENT", "<!NOTATION", ...): skipped. */
static char *skip_declaration(dtd_reader *r, char *decl) {
    char *end = strchr(decl, '>');
    return end ? end + 1 : problem(r, decl, "unterminated declaration");
}

int ezxml_read_dtd(ezxml_root *root, char *s, size_t length, size_t *budget) {
    dtd_reader r;
    size_t own_budget, i;
    memset(&r, 0, sizeof r);
    r.root = root;
    r.start = s;
    r.limit = s + length;
    s[length] = '\0';
    if (!root->work_start) {
        /* A subset read outside a parse: its text is the work text. */
        root->work_start = r.start;
        root->work_end = r.limit + 1;
    }
    if (!budget) {
        own_budget = ezxml_expansion_budget(length);
        budget = &own_budget;
    }
    r.budget = budget;
    r.pe = (char **)ezxml_malloc(sizeof(char *));
    if (!r.pe) {
        fatal(&r, s, EZXML_PARSE_OUT_OF_MEMORY);
        return r.failure;
    }
    r.pe[0] = NULL;
    r.general = growing(&root->entities);
    r.parameter = growing(&r.pe);
    /* Each cycle check walks what the new value reaches, so a long chain of
     * entities would make the checks quadratic: they get a budget of work
     * proportional to the subset, past which a declaration is refused. */
    r.cycles.steps = ((size_t)1 << 20) + (length > ((size_t)-1) / 32 ? ((size_t)-1) / 2 : 16 * length);

    while (s) {
        while (*s && *s != '<' && *s != '%') ++s;
        if (!*s) break;
        if (strncmp(s, "<!ENTITY", 8) == 0)
            s = read_entity(&r, s);
        else if (strncmp(s, "<!ATTLIST", 9) == 0)
            s = read_attlist(&r, s);
        else if (strncmp(s, "<!--", 4) == 0)
            s = skip_comment(&r, s);
        else if (strncmp(s, "<?", 2) == 0)
            s = read_pi(&r, s);
        else if (*s == '<')
            s = skip_declaration(&r, s);
        else if (root->standalone)
            ++s; /* a parameter-entity reference between declarations */
        else
            s = NULL; /* it could declare anything: what follows is not read */
    }

    for (i = 0; r.pe[2 * i]; ++i)
        if (outside_subset(&r, r.pe[2 * i + 1])) free(r.pe[2 * i + 1]);
    free(r.pe);
    free(r.decls.slots);
    ezxml_entity_index_reset(&r.general_index);
    cycle_check_release(&r.cycles);
    return r.failure;
}
