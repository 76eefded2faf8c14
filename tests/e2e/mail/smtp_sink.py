"""usage: smtp_sink.py PORT DIR USER PASSWORD [starttls|tls CERT KEY [NO-MECHANISMS]]: aiosmtpd
on 127.0.0.1 with AUTH LOGIN, PLAIN and CRAM-MD5 (less those named). Message N goes to DIR/N.eml;
DIR/ready appears once it listens; SIGTERM stops it."""
import hmac, logging, os, ssl, sys, threading, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult


class Handler:
    def __init__(self, directory, user, password):
        self.directory, self.user, self.password = directory, user.encode(), password.encode()
        self.count = 0

    async def auth_CRAM__MD5(self, server, args):
        challenge = "<%d.%d@127.0.0.1>" % (os.getpid(), time.time_ns())
        answer = await server.challenge_auth(challenge)
        if not isinstance(answer, bytes) or b" " not in answer:
            return AuthResult(success=False, handled=False)
        user, digest = answer.rsplit(b" ", 1)
        expected = hmac.new(self.password, challenge.encode(), "md5").hexdigest().encode()
        ok = user == self.user and hmac.compare_digest(digest, expected)
        # handled=False: a refusal is answered with 535 rather than left unanswered.
        return AuthResult(success=ok, handled=False)

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        ok = auth_data.login == self.user and auth_data.password == self.password
        return AuthResult(success=ok, handled=False)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        with open(os.path.join(self.directory, "%d.eml" % self.count), "wb") as f:
            f.write(envelope.original_content)
        return "250 OK queued as %d" % self.count


# Prompts as common servers send them.
SMTP.AuthLoginUsernameChallenge, SMTP.AuthLoginPasswordChallenge = "Username:", "Password:"
# No traceback for a client that refuses the certificate.
logging.getLogger("mail.log").setLevel(logging.CRITICAL)
handler = Handler(*sys.argv[2:5])
options = {}
if len(sys.argv) > 5:
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(sys.argv[6], sys.argv[7])
    options = {"tls_context": context} if sys.argv[5] == "starttls" else {"ssl_context": context}
    if len(sys.argv) > 8:
        options["auth_exclude_mechanism"] = sys.argv[8].split(",")
controller = Controller(handler, hostname="127.0.0.1", port=int(sys.argv[1]),
                        server_hostname="sink.test", auth_require_tls=False,
                        authenticator=handler.authenticate, **options)
controller.start()
open(os.path.join(sys.argv[2], "ready"), "w").close()
threading.Event().wait()
