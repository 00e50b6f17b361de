#!/usr/bin/env python3
"""Real servers on 127.0.0.1 that receive a run's notices, for the end-to-end tests.

    notice_sinks.py smtp FOLDER   an SMTP server (aiosmtpd)
    notice_sinks.py http FOLDER   an HTTP server that takes POSTs

Each listens on a free port and writes it to FOLDER/port once it listens. Each mail it
receives is parsed with the email library and kept as FOLDER/N.json (subject decoded,
recipients, the plain-text body, the attachments); each POST as FOLDER/N.json (its
path, content type and JSON body). Runs until SIGTERM.
"""

import asyncio
import email
import email.policy
import itertools
import json
import os
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

FOLDER = sys.argv[2]
COUNT = itertools.count(1)


def keep(name, data):
    path = os.path.join(FOLDER, name)
    with open(path + ".tmp", "w", encoding="utf-8") as out:
        json.dump(data, out, ensure_ascii=False)
    os.replace(path + ".tmp", path)


def parsed_mail(raw, recipients):
    message = email.message_from_bytes(raw, policy=email.policy.default)
    body = message.get_body(("plain",))
    return {
        "subject": str(message["subject"]),
        "from": str(message["from"]),
        "to": str(message["to"]),
        "date": str(message["date"]),
        "message_id": str(message["message-id"]),
        "recipients": recipients,
        # A mail's text lines end in CR LF; the tests compare them as text.
        "body": body.get_content().replace("\r\n", "\n") if body else None,
        "attachments": [
            {
                "filename": part.get_filename(),
                "content_type": part.get_content_type(),
                "content": part.get_content(),
            }
            for part in message.iter_attachments()
        ],
    }


def serve_smtp():
    from aiosmtpd.smtp import SMTP

    class Handler:
        async def handle_DATA(self, server, session, envelope):
            keep(f"{next(COUNT)}.json", parsed_mail(envelope.content, envelope.rcpt_tos))
            return "250 OK"

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(
        loop.create_server(lambda: SMTP(Handler()), "127.0.0.1", 0))
    keep("port", server.sockets[0].getsockname()[1])
    loop.run_forever()


class PostHandler(BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        keep(f"{next(COUNT)}.json", {
            "path": self.path,
            "content_type": self.headers.get("Content-Type"),
            "body": json.loads(body),
        })
        self.send_response(204)
        self.end_headers()

    def log_message(self, *args):
        pass


def serve_http():
    server = ThreadingHTTPServer(("127.0.0.1", 0), PostHandler)
    keep("port", server.server_address[1])
    server.serve_forever()


if __name__ == "__main__":
    {"smtp": serve_smtp, "http": serve_http}[sys.argv[1]]()
