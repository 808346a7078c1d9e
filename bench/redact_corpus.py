#!/usr/bin/env python3
"""Writes the screens of redact_corpus.sh: terminal texts for xterm and a GTK text view and pages
for Chromium, each
with planted secrets and public look-alikes, and for every secret the same screen with that
secret hidden (spaces in a terminal, an invisible span on a page), so that the pixels that differ
are the secret's ink. Also writes NAME.secrets ("kind<TAB>text" a line) and a manifest of how to
show each screen."""
import html
import os
import random
import string
import sys

out = sys.argv[1]
R = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 39)
ALNUM = string.ascii_letters + string.digits


def b62(n):
    return "".join(R.choice(ALNUM) for _ in range(n))


def b64(n):
    return "".join(R.choice(ALNUM + "+/") for _ in range(n))


def upper(n):
    return "".join(R.choice(string.ascii_uppercase + string.digits) for _ in range(n))


def digits(n):
    return "".join(R.choice(string.digits) for _ in range(n))


def hexs(n):
    return "".join(R.choice("0123456789abcdef") for _ in range(n))


def iban():
    bban = digits(18)
    rest = int(bban + "131400") % 97
    compact = "DE%02d" % (98 - rest) + bban
    return " ".join(compact[i:i + 4] for i in range(0, len(compact), 4))


def card():
    body = "4" + digits(14)
    total = 0
    for i, c in enumerate(reversed(body)):
        d = int(c)
        if i % 2 == 0:
            d = d * 2 - 9 if d * 2 > 9 else d * 2
        total += d
    full = body + str((10 - total % 10) % 10)
    return " ".join(full[i:i + 4] for i in range(0, 16, 4))


FIRST = ["jane", "omar", "lena", "ravi", "mia", "tomas", "aiko", "sven"]
LAST = ["doe", "haddad", "novak", "iyer", "berg", "kowalski", "sato", "lind"]
DOMAINS = ["example.com", "acme-corp.io", "mail.example.org", "startup.dev"]


def email():
    return "%s.%s@%s" % (R.choice(FIRST), R.choice(LAST), R.choice(DOMAINS))


def jwt():
    return "eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9.eyJ" + b62(60) + "." + b62(43)


def pod(app):
    return "%s-%s-%s" % (app, hexs(10), "".join(R.choice("bcdfghjklmnpqrstvwxz2456789") for _ in range(5)))


def uuid():
    return "-".join(hexs(n) for n in (8, 4, 4, 4, 12))


def S(kind, text):
    return ("S", kind, text)


# --- terminal screens: a list of rows, each a list of plain strings and secrets --------------
def env_screen():
    user = "%s:%s" % (R.choice(["app", "billing", "admin"]), b62(12))
    return [
        ["$ cat .env"],
        ["APP_NAME=billing-service"],
        ["GITHUB_TOKEN=", S("api", "ghp_" + b62(36))],
        ["SLACK_WEBHOOK=https://hooks.slack.com/services/",
         S("webhook", "T%s/B%s/%s" % (upper(8), upper(10), b62(24)))],
        ["DATABASE_URL=postgres://", S("password", user), "@db.internal:5432/billing"],
        ["SUPPORT_EMAIL=", S("email", email())],
        ["BUILD_SHA=" + hexs(40)],
        ["IMAGE=registry.example.com/shop/web@sha256:" + hexs(24)],
        ["LOG_LEVEL=debug  RELEASE=2024.03.14-rc2  TZ=Europe/Berlin"],
        ["$ "],
    ]


def kube_screen():
    rows = [["$ kubectl get pods -n shop"],
            ["NAME                              READY   STATUS    RESTARTS   AGE"]]
    for app in ("web", "web", "worker", "checkout"):
        rows.append(["%-34s1/1     Running   %d          %dd" % (pod(app), R.randint(0, 3), R.randint(1, 30))])
    rows += [["redis-0                           1/1     Running   0          12d"],
             ["$ kubectl get secret api -o jsonpath='{.data.token}' | base64 -d"],
             [S("random", b62(40))],
             ["$ echo $DISCORD_HOOK"],
             ["https://discord.com/api/webhooks/", S("webhook", digits(18) + "/" + b62(40))],
             ["$ "]]
    return rows


def keys_screen():
    return [
        ["$ ssh-keygen -lf ~/.ssh/id_ed25519.pub"],
        ["256 SHA256:" + b64(43) + " jane@laptop (ED25519)"],
        ["$ git log --oneline -3"],
        [hexs(7) + " Fix the build on arm64"],
        [hexs(7) + " Merge branch 'release/2.4'"],
        [hexs(7) + " Bump lodash to 4.17.21"],
        ["$ cat ~/.aws/env"],
        ["export AWS_ACCESS_KEY_ID=", S("api", "AKIA" + "".join(R.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567") for _ in range(16)))],
        ["export AWS_SECRET_ACCESS_KEY=", S("random", b64(40))],
        ["https://github.com/acme/shop/commit/" + hexs(40)],
        ["$ "],
    ]


def payment_screen():
    teams = "%s@%s/IncomingWebhook/%s/%s" % (uuid(), uuid(), hexs(32), uuid())
    return [
        ["$ cat invoice.txt"],
        ["Invoice 2024-0117 for ACME GmbH, due 2024-04-30, total 1,240.00 EUR"],
        ["IBAN: ", S("iban", iban()), "   BIC: COBADEFFXXX"],
        ["Card on file: ", S("card", card()), "  exp 09/27"],
        ["Questions: ", S("email", email())],
        ["Order 1234 5678 9012 3456 shipped, tracking " + upper(12)],
        ["Request " + uuid() + " took 231 ms"],
        ["Teams alerts: https://acme.webhook.office.com/webhookb2/", S("webhook", teams)],
        ["$ "],
    ]


def npm_screen():
    return [
        ["$ grep -A3 '\"node_modules/lodash\"' package-lock.json"],
        ['    "node_modules/lodash": {'],
        ['      "version": "4.17.21",'],
        ['      "resolved": "https://registry.npmjs.org/lodash/-/lodash-4.17.21.tgz",'],
        ['      "integrity": "sha512-' + b64(86) + '==",'],
        ["$ cat ~/.npmrc"],
        ["//registry.npmjs.org/:_authToken=", S("api", "npm_" + b62(36))],
        ["$ curl -s -H \"Authorization: Bearer ", S("api", jwt()), "\" https://api.example.com/me"],
        ['{"id": 42, "name": "Jane", "email": "', S("email", email()), '"}'],
        ["$ "],
    ]


TERMINALS = [("env", env_screen), ("kube", kube_screen), ("keys", keys_screen),
             ("payment", payment_screen), ("npm", npm_screen)]


def terminal_text(rows, hide=None):
    lines, k = [], 0
    for row in rows:
        line = ""
        for piece in row:
            if isinstance(piece, tuple):
                line += " " * len(piece[2]) if k == hide else piece[2]
                k += 1
            else:
                line += piece
        lines.append(line)
    return "\n".join(lines) + "\n"


def secrets_of(rows):
    return [p for row in rows for p in row if isinstance(p, tuple)]


def write_terminal(how, base, theme, pt, rows):
    """The screen's text, its secrets, and the text again without each secret in turn."""
    found = secrets_of(rows)
    with open(os.path.join(out, base + ".secrets"), "w") as f:
        for _, kind, text in found:
            f.write("%s\t%s\n" % (kind, text))
    with open(os.path.join(out, base + ".txt"), "w") as f:
        f.write(terminal_text(rows))
    for k in range(len(found)):
        with open(os.path.join(out, "%s.s%d.txt" % (base, k)), "w") as f:
            f.write(terminal_text(rows, k))
    manifest.write("%s %s %s %d\n" % (how, base, theme, pt))


manifest = open(os.path.join(out, "manifest"), "w")
for theme in ("light", "dark"):
    for pt in (9, 12, 16):
        for name, make in TERMINALS:
            write_terminal("xterm", "xterm-%s-%s-%dpt" % (name, theme, pt), theme, pt, make())


# --- pages: HTML with secrets in spans that a variant hides -----------------------------------
def field(label, value):
    return ('<div class="field"><label>%s</label><div class="input">%s</div></div>'
            % (html.escape(label), value))


def checkout_page(s):
    return "<h1>Checkout</h1>" + "".join([
        field("Full name", "Jane Doe"),
        field("E-mail", s("email", email())),
        field("Card number", s("card", card())),
        field("Expiry", "09 / 27") + field("CVC", "&bull;&bull;&bull;"),
        field("IBAN (for refunds)", s("iban", iban())),
        "<p class=note>Order 1234 5678 9012 3456 &middot; Total 1,240.00 EUR &middot; v4.2.1</p>",
    ])


def commits_page(s):
    rows = "".join(
        '<div class="commit"><div><b>%s</b><br><small>%s committed on Mar %d</small></div>'
        '<code>%s</code> <a>https://github.com/acme/shop/commit/%s</a></div>'
        % (msg, who, R.randint(1, 28), hexs(7), hexs(40))
        for msg, who in [("Fix the build on arm64", "jdoe"), ("Bump lodash to 4.17.21", "dependabot"),
                         ("Merge pull request #1337 from acme/release-2.4", "lnovak"),
                         ("Add retry to the payment client", "rverma")])
    return ("<h1>Commits on main</h1>" + rows +
            "<p>Co-authored-by: Omar Haddad &lt;" + s("email", email()) + "&gt;</p>")


def env_page(s):
    lines = [
        "# production settings",
        "APP_NAME=billing-service",
        "GITHUB_TOKEN=" + s("api", "ghp_" + b62(36)),
        "STRIPE_SECRET_KEY=" + s("api", "sk_live_" + b62(24)),
        "DATABASE_URL=postgres://" + s("password", "billing:" + b62(12)) + "@db.internal:5432/app",
        "BUILD_SHA=" + hexs(40),
        "RELEASE=2024.03.14-rc2",
    ]
    body = "".join("<tr><td class=ln>%d</td><td>%s</td></tr>" % (i + 1, l) for i, l in enumerate(lines))
    return "<h1>acme/shop &rsaquo; .env.production</h1><table class=code>%s</table>" % body


def kube_page(s):
    rows = "".join("<tr><td>%s</td><td>1/1</td><td>Running</td><td>%d</td><td>%dd</td></tr>"
                   % (pod(app), R.randint(0, 3), R.randint(1, 30))
                   for app in ("web", "web", "worker", "checkout", "api"))
    return ("<h1>Workloads &rsaquo; Pods</h1><table class=grid><tr><th>Name</th><th>Ready</th>"
            "<th>Status</th><th>Restarts</th><th>Age</th></tr>" + rows + "</table>"
            "<h2>Secret api-token</h2>" + field("token", s("random", b62(40))))


def npm_page(s):
    blocks = "".join(
        '<tr><td>"node_modules/%s": {<br>&nbsp;&nbsp;"version": "%s",<br>&nbsp;&nbsp;"integrity": '
        '"sha512-%s=="<br>}</td></tr>' % (p, v, b64(86))
        for p, v in [("lodash", "4.17.21"), ("react", "18.2.0"), ("left-pad", "1.3.0")])
    return ("<h1>package-lock.json</h1><table class=code>" + blocks + "</table>"
            "<h2>.npmrc</h2><table class=code><tr><td>//registry.npmjs.org/:_authToken="
            + s("api", "npm_" + b62(36)) + "</td></tr></table>")


def ssh_page(s):
    hook = "T%s/B%s/%s" % (upper(8), upper(10), b62(24))
    return ("<h1>Deploy keys</h1><pre>$ ssh-keygen -lf deploy.pub\n256 SHA256:%s deploy@ci (ED25519)\n"
            "$ ssh-keygen -lf -E md5 deploy.pub\n256 MD5:%s deploy@ci (ED25519)</pre>"
            % (b64(43), ":".join(hexs(2) for _ in range(16))) +
            "<h2>Incoming webhook</h2>" +
            field("Webhook URL", "https://hooks.slack.com/services/" + s("webhook", hook)) +
            "<h2>Token for the API</h2>" + field("Bearer token", s("api", jwt())))


PAGES = [("checkout", checkout_page), ("commits", commits_page), ("env", env_page),
         ("kube", kube_page), ("npm", npm_page), ("ssh", ssh_page)]

STYLE = """<style>
body { font-family: 'DejaVu Sans', sans-serif; margin: 24px 40px; background: %(bg)s; color: %(fg)s; font-size: 15px; }
h1 { font-size: 22px; } h2 { font-size: 17px; margin-top: 22px; }
.field { margin: 10px 0; } label { display: block; font-size: 13px; opacity: .8; }
.input { border: 1px solid %(line)s; border-radius: 4px; padding: 6px 8px; width: 760px; word-break: break-all; }
.commit { border-bottom: 1px solid %(line)s; padding: 8px 0; }
code, pre, table.code { font-family: 'DejaVu Sans Mono', monospace; font-size: 13px; }
table.code td.ln { color: #888; padding-right: 14px; text-align: right; }
table.grid { border-collapse: collapse; } table.grid td, table.grid th { padding: 5px 18px 5px 0; text-align: left; }
a { color: %(link)s; }
</style>"""

for theme in ("light", "dark"):
    colours = ({"bg": "#ffffff", "fg": "#1f2328", "line": "#d0d7de", "link": "#0969da"} if theme == "light"
               else {"bg": "#0d1117", "fg": "#e6edf3", "line": "#30363d", "link": "#4493f8"})
    for name, make in PAGES:
        found = []

        def s(kind, text):
            found.append((kind, text))
            return '<span class="s%d">%s</span>' % (len(found) - 1, html.escape(text))

        body = make(s)
        base = "chromium-%s-%s" % (name, theme)
        page = "<!doctype html><meta charset=utf-8>" + STYLE % colours
        with open(os.path.join(out, base + ".html"), "w") as f:
            f.write(page + body)
        for k in range(len(found)):
            with open(os.path.join(out, "%s.s%d.html" % (base, k)), "w") as f:
                f.write(page + "<style>.s%d { visibility: hidden; }</style>" % k + body)
        with open(os.path.join(out, base + ".secrets"), "w") as f:
            for kind, text in found:
                f.write("%s\t%s\n" % (kind, text))
        manifest.write("chromium %s %s 0\n" % (base, theme))

# The same texts in a GTK text view (zenity), in its own theme's colours, light and dark.
for theme in ("light", "dark"):
    for name, make in TERMINALS:
        write_terminal("gtk", "gtk-%s-%s-11pt" % (name, theme), theme, 11, make())

manifest.close()
